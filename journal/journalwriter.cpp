#include "journal/journalwriter.h"

#include <exception>
#include <mutex>
#include <utility>

#include "support/logentry.h"

namespace journal {

namespace {
constexpr std::int64_t secondsPerDay = 86400;
constexpr const char* queueFullText = "journal queue full, entries dropped";
}  // namespace

CJournalWriter::CJournalWriter(std::string path, int retentionDays)
    : path(std::move(path)), retentionDays(retentionDays), worker([this] { run(); }) {}

CJournalWriter::~CJournalWriter() {
    {
        // Taken when it can be, so the worker cannot miss the wake-up; it looks at `stopping`
        // again after each of its short waits in any case.
        std::unique_lock<platform::TimedMutex> guard(lock, std::defer_lock);
        (void)guard.try_lock_for(workerWait);
        stopping = true;
    }
    changed.notify_all();
    worker.join();
}

bool CJournalWriter::record(Entry entry) {
    try {
        std::unique_lock<platform::TimedMutex> guard(lock, std::defer_lock);
        if (!guard.try_lock_for(queueWait)) {
            ++droppedCount;
            return false;
        }
        if (queue.size() >= queueCapacity) {
            // The worker logs it: the error log may wait far longer than a push may.
            queueOverflowed = true;
            ++droppedCount;
            return false;
        }
        queue.push_back(std::move(entry));
        guard.unlock();
        changed.notify_all();
        return true;
    } catch (const std::exception&) {
        ++droppedCount;
        return false;
    }
}

bool CJournalWriter::flush(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock<platform::TimedMutex> guard(lock, std::defer_lock);
    if (!guard.try_lock_for(limit)) {
        return false;
    }
    return changed.wait_until(guard, deadline, [this] { return queue.empty() && inProgress == 0; });
}

std::uint64_t CJournalWriter::dropped() const {
    return droppedCount;
}

std::string CJournalWriter::problem() const {
    std::unique_lock<platform::TimedMutex> guard(lock, std::defer_lock);
    if (!guard.try_lock_for(queueWait)) {
        return {};
    }
    return currentProblem;
}

void CJournalWriter::run() {
    std::vector<Entry> batch;
    bool more = true;
    while (more) {
        try {
            keepRetention();
            more = takeBatch(batch);
            write(batch);
        } catch (const std::exception& error) {
            reportOnce(std::string("the journal writer failed: ") + error.what());
        } catch (...) {
            reportOnce("the journal writer failed");
        }
        finishBatch();
    }
}

// Waits briefly for entries and moves all that are queued into `batch`; false once the
// writer stops and nothing is left.
bool CJournalWriter::takeBatch(std::vector<Entry>& batch) {
    batch.clear();
    std::unique_lock<platform::TimedMutex> guard(lock, std::defer_lock);
    if (!guard.try_lock_for(workerWait)) {
        return true;
    }
    const auto wait = retentionBacklog ? std::chrono::milliseconds(0) : workerWait;
    changed.wait_for(guard, wait, [this] { return stopping || !queue.empty(); });
    batch.assign(std::make_move_iterator(queue.begin()), std::make_move_iterator(queue.end()));
    queue.clear();
    inProgress = batch.size();
    const bool overflowed = std::exchange(queueOverflowed, false);
    const bool more = !stopping || !batch.empty();
    guard.unlock();
    if (overflowed) {
        reportOnce(queueFullText);
    }
    return more;
}

// An entry that cannot be written is dropped and counted; the station goes on pushing.
void CJournalWriter::write(const std::vector<Entry>& batch) {
    if (batch.empty()) {
        return;
    }
    if (!ensureOpen()) {
        droppedCount += batch.size();
        return;
    }
    if (!store.append(batch)) {
        droppedCount += batch.size();
        setProblem(store.problem());
        reportOnce(store.problem());
        return;
    }
    setProblem({});
}

void CJournalWriter::finishBatch() {
    {
        std::unique_lock<platform::TimedMutex> guard(lock, std::defer_lock);
        if (!guard.try_lock_for(workerWait)) {
            return;
        }
        inProgress = 0;
    }
    changed.notify_all();
}

// At start and every few minutes, removes the entries older than the retention period, a step
// at a time; a backlog is worked off in steps between the batches.
void CJournalWriter::keepRetention() {
    const auto now = platform::now();
    if (!retentionBacklog && now < nextRetention) {
        return;
    }
    if (!ensureOpen()) {
        return;
    }
    nextRetention = now + retentionInterval;
    const std::int64_t cutoff =
        static_cast<std::int64_t>(platform::toTimeT(now)) - retentionDays * secondsPerDay;
    const int removed = store.removeOlderThan(cutoff, retentionStep);
    if (removed < 0) {
        setProblem(store.problem());
        reportOnce(store.problem());
    }
    retentionBacklog = removed == retentionStep;
}

// Opens the journal when it is not open, trying again only now and then after a failure.
bool CJournalWriter::ensureOpen() {
    if (store.isOpen()) {
        return true;
    }
    const auto now = platform::now();
    if (now < nextOpen) {
        return false;
    }
    nextOpen = now + reopenInterval;
    if (!store.open(path, CJournalStore::Access::readWrite)) {
        setProblem(store.problem());
        reportOnce(store.problem());
        return false;
    }
    setProblem({});
    return true;
}

void CJournalWriter::setProblem(const std::string& text) {
    std::unique_lock<platform::TimedMutex> guard(lock, std::defer_lock);
    if (guard.try_lock_for(workerWait)) {
        currentProblem = text;
    }
}

// Each kind of problem reaches the error log once, however often it recurs.
void CJournalWriter::reportOnce(const std::string& text) {
    try {
        if (reported.insert(text).second) {
            support::logError(text, support::typeTag(this));
        }
    } catch (const std::exception&) {
        // Out of memory for the note of it: the problem still shows in problem().
    }
}

}  // namespace journal
