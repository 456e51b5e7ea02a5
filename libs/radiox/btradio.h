#pragma once
// The radio library's one object: it counts the local radios, keeps the record of the radio
// enumerated last, runs one inquiry at a time and keeps the devices it found in 20 slots. Radio
// counts may come from any thread while an inquiry runs; three locks keep that safe: one for the
// radio record, one that lets one inquiry run at a time, one for the slots.

#include <array>
#include <memory>

#include "libs/common/dllcomponent.h"
#include "libs/include/btrecords.h"
#include "libs/include/radiox.h"
#include "platform/timedmutex.h"
#include "radiobackend.h"

class CBTRadio : public CDllComponent {
  public:
    static constexpr int radioLockWaitMs = 2000;
    static constexpr int slotLockWaitMs = 1000;
    // Longer than an inquiry of the longest length the scanner uses (10 × 1.28 s).
    static constexpr int inquiryLockWaitMs = 15000;

    CBTRadio();
    ~CBTRadio() override;

    int countDongles();
    const NyvexRadioRecord* radioInformation() const { return radioInfo.get(); }
    int scanDevices(int length);
    const NyvexDeviceRecord* deviceRecord(int index);
    const char* majorService(int index);

  private:
    using Slots = std::array<std::unique_ptr<NyvexDeviceRecord>, radiox::slotCount>;

    std::unique_ptr<radiox::RadioBackend> backend();
    int fillSlots(const radiox::InquiryResult& inquiry, Slots& slots);

    platform::TimedMutex radioLock;
    platform::TimedMutex inquiryLock;
    platform::TimedMutex slotLock;
    std::unique_ptr<NyvexRadioRecord> radioInfo;
    Slots foundDevices;
};
