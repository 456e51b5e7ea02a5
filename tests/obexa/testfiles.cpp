#include "testfiles.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/text.h"

namespace obexatest {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "obexa-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    folder = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::filesystem::path TempFolder::file(const std::string& name, std::size_t size) const {
    const auto target = folder / name;
    const auto bytes = patternBytes(size);
    std::ofstream out(target, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    return target;
}

std::vector<std::uint8_t> patternBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 251) % 256);
    }
    return bytes;
}

std::vector<std::uint8_t> readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::u16string wide(const std::filesystem::path& path) {
    return platform::toUtf16(path.string());
}

}  // namespace obexatest
