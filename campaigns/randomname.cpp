#include "randomname.h"

#include <chrono>
#include <cstdint>

#include "platform/clock.h"

namespace {
// The C runtime's classic generator: values 0 to 32767.
class RuntimeRandom {
  public:
    static constexpr int maxValue = 32767;

    explicit RuntimeRandom(std::uint32_t seed) : state(seed) {}
    int next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFFu);
    }

  private:
    std::uint32_t state;
};

std::uint32_t currentMillisecond() {
    const auto sinceEpoch = platform::now().time_since_epoch();
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(sinceEpoch).count();
    return static_cast<std::uint32_t>(((ms % 1000) + 1000) % 1000);
}
}  // namespace

CRandomName::CRandomName()
    : alphabet("abcdefghijklmnopqrstuvwxyz12345678901ABCDEFGHIJKLMNOPQRSTUVWXYZ") {}

std::string CRandomName::make(int n) const {
    RuntimeRandom random(currentMillisecond());
    std::string name;
    for (int i = 0; i < n; ++i) {
        // Scaling by 60 reaches only the first 61 characters: "Y" and "Z" never occur.
        const int index = random.next() * 60 / RuntimeRandom::maxValue;
        name += alphabet[static_cast<std::size_t>(index)];
    }
    return name;
}
