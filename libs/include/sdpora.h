#pragma once
// The exports of libSdpora.so, by name and signature. No part of the station loads this library;
// it ships for service tools that want a phone's Object Push channel.

namespace sdpora {

// The RFCOMM channel of the phone's Object Push service; 0 when there is none or the lookup
// failed; 1 when the Bluetooth socket could not be made. The address comes as two halves: the
// upper two bytes in the low 16 bits of `addressHigh`, the lower four bytes in `addressLow`.
using GetOppPort1Function = int(unsigned addressLow, unsigned addressHigh);
using StartLoggingFunction = int(const char16_t* path);
using StopLoggingFunction = void();

}  // namespace sdpora
