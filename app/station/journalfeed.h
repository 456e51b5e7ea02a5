#pragma once
// Turns the outcome of every push into a journal entry and hands it to the journal's writer.
// It runs on the push threads, so it only converts and queues: the phone is named by its salted
// memory key, never by its address or name, and the writer stores the entry later on its own
// thread.

#include <chrono>
#include <string>

#include "journal/journalentry.h"
#include "journal/journalwriter.h"
#include "platform/timedmutex.h"
#include "sending/pushoutcome.h"

class CJournalFeed {
  public:
    static constexpr std::chrono::milliseconds radioWait{20};

    // Writes to the journal at `path`, keeping `retentionDays` days.
    CJournalFeed(std::string path, int retentionDays);

    // The name of the radio the station pushes through now; later entries carry it.
    void setRadio(const std::string& name);
    // That name; empty while the name is being changed beyond a short wait.
    std::string currentRadio();
    // Queues the journal entry of `outcome`; never waits beyond a few milliseconds.
    void record(const btsend::PushOutcome& outcome);

    journal::CJournalWriter& writer() { return journalWriter; }
    const std::string& path() const { return journalPath; }

    // The journal entry of `outcome` made under the radio name `radio`.
    static journal::Entry entryFor(const btsend::PushOutcome& outcome, const std::string& radio);

  private:
    std::string journalPath;
    platform::TimedMutex radioLock;
    std::string radio;
    journal::CJournalWriter journalWriter;
};
