#pragma once
// The station as a system service: systemd's notification protocol (readiness, watchdog pings,
// stopping, a status text) and whether stderr is the journal. Outside systemd the notices go
// nowhere and cost nothing.

#include <chrono>
#include <optional>
#include <string>

namespace platform::service {

// Sends `state` ("READY=1", "WATCHDOG=1", "STATUS=…", newline-separated assignments) to the
// service manager. False when no manager listens (NOTIFY_SOCKET unset) or the send failed.
bool notify(const std::string& state);

// The watchdog interval the service manager expects pings within, when it watches this process.
std::optional<std::chrono::microseconds> watchdogInterval();

// True when stderr is connected to the journal (systemd names that stream in JOURNAL_STREAM),
// so lines written there reach the journal.
bool stderrIsJournal();

}  // namespace platform::service
