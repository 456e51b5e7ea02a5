#pragma once
// One push in flight: a thread that pushes one job's file to its device, then records the device
// as served. The push is bounded by the object-push library's own time-outs, so the destructor
// joins the thread: no push outlives the component whose library it calls.

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "sending/sendjob.h"

namespace btsend {

class COppComponent;

class CBlueWinThread {
  public:
    CBlueWinThread(std::unique_ptr<CSendJob> job, COppComponent& component);
    virtual ~CBlueWinThread();
    CBlueWinThread(const CBlueWinThread&) = delete;
    CBlueWinThread& operator=(const CBlueWinThread&) = delete;

    void start();
    // Started and not yet returned.
    bool isRunning() const { return running; }
    // True when the phone took the whole object.
    bool result() const { return delivered; }
    std::uint32_t addressLow() const { return low; }
    std::uint32_t addressHigh() const { return high; }

  private:
    void push();

    std::uint32_t low;
    std::uint32_t high;
    std::unique_ptr<CSendJob> job;
    COppComponent& component;
    std::atomic<bool> running{false};
    std::atomic<bool> delivered{false};
    std::thread thread;
};

}  // namespace btsend
