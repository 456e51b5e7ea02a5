#pragma once
// The C boundary shared by the station's libraries. Each export is declared NYVEX_EXPORT (the
// only symbols a library shows, together with its version script), runs its body through
// guarded() so that no exception ever crosses into the caller, and is checked in its exports.cpp
// with a static_assert against its declaration in the public header (libs/include), because the
// program finds it by name and calls it through that declaration.

#define NYVEX_EXPORT extern "C" __attribute__((visibility("default")))

namespace nyvexlib {

// The result of `call`, or `neutral` when it throws.
template <typename Result, typename Call>
Result guarded(Result neutral, Call call) noexcept {
    try {
        return call();
    } catch (...) {
        return neutral;
    }
}

// Runs `call`; whatever it throws ends here.
template <typename Call>
void guarded(Call call) noexcept {
    try {
        call();
    } catch (...) {
        return;
    }
}

}  // namespace nyvexlib
