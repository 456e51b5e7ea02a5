#pragma once
// The push workers in the order they were started. Outcomes are collected oldest first, so a
// worker that finished behind an older one still pushing is counted only when that one is done.
// Used by the dispatcher thread alone.

#include <cstdint>
#include <memory>
#include <vector>

#include "sending/pushthread.h"

namespace btsend {

class COppSendMgr {
  public:
    COppSendMgr() = default;
    virtual ~COppSendMgr() = default;
    COppSendMgr(const COppSendMgr&) = delete;
    COppSendMgr& operator=(const COppSendMgr&) = delete;

    int count() const { return static_cast<int>(workers.size()); }
    void add(std::unique_ptr<CBlueWinThread> worker) { workers.push_back(std::move(worker)); }
    // Waits for every worker's push to end and drops them all, uncounted.
    void clear() { workers.clear(); }
    // True when a worker in the list (running, or finished and not collected) has the address.
    bool hasDevice(std::uint32_t low, std::uint32_t high) const;
    // Removes the finished workers from the oldest on, up to the first one still running, and
    // counts their outcomes into `successes` and `failures`. True when a worker still runs.
    bool collect(int& successes, int& failures);

  private:
    std::vector<std::unique_ptr<CBlueWinThread>> workers;
};

}  // namespace btsend
