// The device memory's archive loader. Whatever a file holds, loading it must end without a
// fault, and what was loaded must survive being saved and loaded again: the records read back
// from a saved table are the same records (loading reverses each bucket's order, so two round
// trips give the first saved bytes again).

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzzfiles.h"
#include "memory/btadmemory.h"

namespace {

std::string reloaded(fuzzing::MemoryFile& file, const std::string& bytes, int expectedCount) {
    file.set(bytes.data(), bytes.size());
    backo::CBtAdMemory memory;
    memory.setPath(file.path());
    if (!memory.load() || memory.count() != expectedCount) {
        std::abort();
    }
    return memory.serialize();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzing::MemoryFile input;
    static fuzzing::MemoryFile saved;
    input.set(data, size);
    backo::CBtAdMemory memory;
    memory.setPath(input.path());
    memory.load();
    const std::string first = memory.serialize();
    const std::string second = reloaded(saved, first, memory.count());
    if (reloaded(saved, second, memory.count()) != first) {
        std::abort();
    }
    memory.lookup("00000000000000000000000000000000", true);
    memory.addIfAbsent("0123456789abcdef0123456789abcdef");
    memory.purgeOlderThan(1.0);
    return 0;
}
