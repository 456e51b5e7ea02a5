#pragma once
// Writes the outcome journal off the push threads. record() only queues the entry (a bounded
// queue; a full queue drops the entry, counts it and logs it once) and never waits beyond a
// few milliseconds; a worker thread writes the queue in batches and removes entries older than
// the retention period in small steps. A journal that cannot be written is logged once and the
// station goes on pushing; the writer tries to open it again now and then.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "journal/journalstore.h"
#include "platform/clock.h"
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
    // Entries dropped so far: the queue was full, or the journal could not be written.
    std::uint64_t dropped() const;
    // What is wrong with the journal now, in words for the operator; empty when nothing is.
    std::string problem() const;

    // How often the writer removes old entries, and tries again to open a journal it could not.
    static constexpr std::chrono::minutes retentionInterval{5};
    static constexpr std::chrono::seconds reopenInterval{60};

  private:
    // The worker's own wait for the queue: short, and repeated while the writer runs.
    static constexpr std::chrono::milliseconds workerWait{1000};

    void run();
    bool takeBatch(std::vector<Entry>& batch);
    void write(const std::vector<Entry>& batch);
    void finishBatch();
    void keepRetention();
    bool ensureOpen();
    void setProblem(const std::string& text);
    void reportOnce(const std::string& text);

    const std::string path;
    const int retentionDays;
    CJournalStore store;  // the worker's alone

    mutable platform::TimedMutex lock;  // guards everything below
    std::condition_variable_any changed;
    std::deque<Entry> queue;
    std::size_t inProgress = 0;
    std::string currentProblem;
    bool queueOverflowed = false;
    std::atomic<bool> stopping = false;
    std::atomic<std::uint64_t> droppedCount = 0;

    // The worker's alone.
    std::set<std::string> reported;
    platform::TimePoint nextOpen{};
    platform::TimePoint nextRetention{};
    bool retentionBacklog = false;

    std::thread worker;  // last: starts once everything above exists
};

}  // namespace journal
