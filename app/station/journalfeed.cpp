#include "journalfeed.h"

#include <mutex>

#include "memory/recordtexts.h"
#include "platform/text.h"

namespace {

journal::Outcome outcomeOf(const btsend::PushOutcome& outcome) {
    if (outcome.kind == btsend::PushKind::rangeTest) {
        return journal::Outcome::rangeTest;
    }
    switch (outcome.report.outcome) {
        case obexaDelivered:
            return journal::Outcome::delivered;
        case obexaRefused:
            return journal::Outcome::refused;
        case obexaNoAnswer:
            return journal::Outcome::noAnswer;
        case obexaNoService:
            return journal::Outcome::noService;
        case obexaFileUnusable:
            return journal::Outcome::fileUnusable;
        default:
            return journal::Outcome::connectionFailed;
    }
}

std::string manufacturerOf(const NyvexSighting& record) {
    const std::u16string_view field(record.manufacturerName, std::size(record.manufacturerName));
    return platform::toUtf8(field.substr(0, field.find(u'\0')));
}

}  // namespace

CJournalFeed::CJournalFeed(std::string path, int retentionDays)
    : journalPath(path), journalWriter(std::move(path), retentionDays) {}

void CJournalFeed::setRadio(const std::string& name) {
    std::unique_lock guard(radioLock, std::defer_lock);
    if (guard.try_lock_for(radioWait)) {
        radio = name;
    }
}

std::string CJournalFeed::currentRadio() {
    std::unique_lock guard(radioLock, std::defer_lock);
    return guard.try_lock_for(radioWait) ? radio : std::string();
}

void CJournalFeed::record(const btsend::PushOutcome& outcome) {
    if (outcome.device.record() != nullptr) {
        journalWriter.record(entryFor(outcome, currentRadio()));
    }
}

journal::Entry CJournalFeed::entryFor(const btsend::PushOutcome& outcome,
                                      const std::string& radio) {
    const NyvexSighting& record = *outcome.device.record();
    journal::Entry entry;
    entry.time =
        std::chrono::duration_cast<std::chrono::seconds>(outcome.started.time_since_epoch())
            .count();
    entry.outcome = outcomeOf(outcome);
    // The range test's campaign has no name of its own: its rows are named after the test.
    entry.campaign = outcome.campaignName.empty() && entry.outcome == journal::Outcome::rangeTest
                         ? std::string(journal::outcomeName(entry.outcome))
                         : outcome.campaignName;
    entry.sendName = outcome.sendName;
    entry.deviceKey = backo::CBtAdWrapper().memoryKey(record);
    entry.manufacturer = manufacturerOf(record);
    entry.delivered = outcome.delivered;
    entry.packets = outcome.report.packetsAccepted;
    entry.bytes = outcome.report.bytesAccepted;
    entry.durationMs = outcome.report.durationMs;
    entry.radio = radio;
    return entry;
}
