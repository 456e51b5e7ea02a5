#pragma once
// Writes the outcome journal off the push threads. record() only queues the entry (a bounded
// queue; a full queue drops the entry, counts it and logs it once) and never waits beyond a
// few milliseconds; a worker thread writes the queue in batches and removes entries older than
// the retention period in small steps. A journal that cannot be written is logged once and the
// station goes on pushing; the writer tries to open it again now and then.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <string>
#include <thread>

#include "journal/journalstore.h"
#include "platform/timedmutex.h"

namespace journal {

class CJournalWriter {
  public:
    static constexpr std::size_t queueCapacity = 4096;
    static constexpr std::chrono::milliseconds queueWait{5};
    static constexpr int retentionStep = 500;  // entries removed at most per step

    // Starts the worker on the journal at `path`, keeping `retentionDays` days.
    CJournalWriter(std::string path, int retentionDays);
    // Writes what is queued, then stops and joins the worker.
    ~CJournalWriter();
    CJournalWriter(const CJournalWriter&) = delete;
    CJournalWriter& operator=(const CJournalWriter&) = delete;

    // Queues `entry`; false when it was dropped (queue full or busy beyond the wait).
    bool record(Entry entry);
    // Waits at most `limit` until every queued entry is written (tests and shutdown).
    bool flush(std::chrono::milliseconds limit);
    // Entries dropped so far because the queue was full.
    std::uint64_t dropped() const;
    // What is wrong with the journal now, in words for the operator; empty when nothing is.
    std::string problem() const;
};

}  // namespace journal
