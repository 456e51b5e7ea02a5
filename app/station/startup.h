#pragma once
// Start-up and shutdown of the station: builds the long-lived parts in a fixed order, runs the
// operator's window until it is closed, then takes everything down again.

#include <exception>
#include <optional>
#include <string>

#include "app/station/nyvexapp.h"

// What start-up needs from the front end (the Qt window or the headless console).
class CStationUi : public CUserNotice {
  public:
    // Runs the main window once; 1 (OK) asks for a fresh main window, anything else ends.
    virtual int runMainWindow() = 0;
    // Runs the configuration dialog while the configuration is incomplete; its result (1 for
    // OK), or none where no dialog can be shown (headless, no screen).
    virtual std::optional<int> runConfigurationDialog() { return std::nullopt; }
    // Start-up ended early with this report (already in the error log).
    virtual void startupFailed(const std::string& /*report*/) {}
    // A problem that keeps the station from working as set up (already in the error log): no
    // radio or no library at the start, settings that cannot be read or written. It may come
    // from any thread.
    virtual void reportProblem(const std::string& /*text*/) {}
};

struct StartupOptions {
    // Folder of the single-instance lock; empty: the first usable of $XDG_RUNTIME_DIR, the
    // temporary folder.
    std::string instanceLockFolder;
};

// Runs the whole life of the station; returns false like the framework's start entry always
// does (the process then ends). `exitCode` says whether start-up failed (1) or not (0).
bool InitInstance(CStationUi& ui, const StartupOptions& options, int& exitCode);

// The error-log text for an exception that escaped start-up, per the station's handler table.
std::string startupFailureText(const std::exception_ptr& failure);
