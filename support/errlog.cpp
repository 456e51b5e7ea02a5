#include "errlog.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>

#include "platform/beep.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {
constexpr const char* versionText = "1.061";
constexpr std::size_t maxNameLength = 200;

std::mutex alertLock;
support::AlertHandler alertHandler;
}  // namespace

namespace support {

void setAlertHandler(AlertHandler handler) {
    std::lock_guard<std::mutex> guard(alertLock);
    alertHandler = std::move(handler);
}

void alert(const std::string& text) {
    std::cerr << text << std::endl;
    std::lock_guard<std::mutex> guard(alertLock);
    if (alertHandler) {
        alertHandler(text);
    }
}

}  // namespace support

std::string CErrLog1::logFileName() {
    return platform::programName() + "_err.txt";
}

std::string CErrLog1::entryText(const std::string& message, const std::string& sourceType,
                                const std::string& extra,
                                const std::optional<std::string>& computer,
                                const std::optional<std::string>& user) {
    std::string entry = platform::formatLocal(platform::now(), "%d. %b %Y %H:%M:%S") + "\r\n";
    if (computer) {
        entry += "Computername : " + platform::cutUtf16(*computer, maxNameLength) + "\r\n";
    }
    if (user) {
        entry += "Username : " + platform::cutUtf16(*user, maxNameLength) + "\r\n";
    }
    entry += std::string(versionText) + "\r\n";
    entry += "Fehlerquelle : " + sourceType + "\r\n";
    entry += "Fehler : " + message + "\r\n";
    entry += extra + "\r\n";
    return entry;
}

std::string CErrLog1::write(const std::string& message, const std::string& sourceType,
                            const std::string& extra) {
    const std::string entry =
        entryText(message, sourceType, extra, platform::computerName(), platform::userName());
    const std::string logFile = logFileName();
    {
        std::ofstream out(logFile, std::ios::binary | std::ios::app);
        out << platform::toUtf16leBytes(entry);
        out.flush();
        if (!out) {
            support::alert("The error log " + logFile + " cannot be written: " +
                           platform::systemErrorText(errno) + "\n" + message);
            platform::beep(800, 200);
            return entry;
        }
    }
    const auto size = platform::fileSize(logFile);
    if (size && *size > rollOverSize) {
        std::remove("olderr.txt");
        std::rename(logFile.c_str(), "olderr.txt");
    }
    return entry;
}
