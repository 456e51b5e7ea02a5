#pragma once
// The exports of libRadiox.so as the program finds them by name: their names and signatures.
// The program binds them at run time and never links the library.

#include "libs/include/btrecords.h"

namespace radiox {

using AddFunction = double(double, double);
// The number of local radios; fills the radio record of the radio enumerated last.
using CountDonglesFunction = int();
// The radio record of the radio enumerated last (all zero until a radio was seen).
using GetDongInfFunction = const NyvexRadioRecord*();
// 0 without a radio; else one inquiry of `length` × 1.28 s and the number of slots filled (at
// least 1: an inquiry that found nothing also gives 1 and leaves every slot empty).
using ScanDevicesFunction = int(int length);
// The device record in slot `index` (0..19), or null; valid until the next inquiry.
using GetBTDataFunction = const NyvexDeviceRecord*(int index);
// The major service class name of the device in slot `index`; "" for an empty slot.
using GetMaSeFunction = const char*(int index);
using StartLoggingFunction = int(const char16_t* path);
using StopLoggingFunction = void();

constexpr int slotCount = 20;

}  // namespace radiox
