#pragma once
// The pieces of a station run as processes: a station folder made like an installed one (the
// settings template, the operator texts, the campaign and its picture), a simulated world whose
// phones listen on loopback ports reserved for the run, and phonesim plus `Nyvex --headless`
// started in the background with their output in files.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/childprocess.h"
#include "tests/common/reservedport.h"
#include "tests/common/waituntil.h"

namespace e2e {

using testing_support::ChildProcess;
using testing_support::ReservedPort;
using testing_support::waitUntil;

struct Phone {
    std::string address;  // colon form, as the world file and the blocked-address list write it
    std::string answer;   // accept, refuse, silent or slow
    bool inRange = true;
    std::shared_ptr<ReservedPort> port = std::make_shared<ReservedPort>();
    std::string link = "";  // its link keys as world-file lines; empty: an instant link
};

// The address as phonesim names a phone's inbox folder: twelve hex digits, no colons.
inline std::string compactAddress(const std::string& address) {
    std::string compact;
    for (char c : address) {
        if (c != ':') {
            compact += c;
        }
    }
    return compact;
}

inline std::string worldText(const std::vector<Phone>& phones, double timescale) {
    std::string text = "[radio]\naddress=00:1A:7D:DA:71:13\nname=Nyvex test\ntimescale=" +
                       std::to_string(timescale) + "\n";
    for (std::size_t i = 0; i < phones.size(); ++i) {
        const Phone& phone = phones[i];
        text += "[phone" + std::to_string(i + 1) + "]\naddress=" + phone.address + "\nname=Phone " +
                std::to_string(i + 1) + "\nclass=0x5A020C\ninrange=" + (phone.inRange ? "1" : "0") +
                "\nobex=127.0.0.1:" + std::to_string(phone.port->port()) +
                "\nchannel=9\nanswer=" + phone.answer + "\n" + phone.link;
    }
    return text;
}

inline std::string readWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeWholeFile(const std::filesystem::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
}

// The station and the simulated radio read the world file at every inquiry and push, so a new
// version lands whole: written beside it and renamed over it.
inline void replaceWorld(const std::filesystem::path& file, const std::string& content) {
    const std::filesystem::path temporary = file.string() + ".new";
    writeWholeFile(temporary, content);
    std::filesystem::rename(temporary, file);
}

inline std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t seen = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++seen;
    }
    return seen;
}

// File and output checks poll every 100 ms.
constexpr std::chrono::milliseconds pollFiles{100};

// The demo's always campaign: the test picture, sent as "welcome" (the phone stores it as
// welcome.gif).
inline const char* welcomeCampaign() {
    return "[campaign1]\ncampaname=Welcome\nsendfilename=welcome\nmediafile=testpic.gif\n"
           "prio=1000\nscheduletyp=0\nnumperiods=0\n";
}

struct StationPaths {
    std::string sourceDir;  // the repository: settings template and static station files
    std::string binDir;     // Nyvex, phonesim and the libraries
};

// Fills `station` the way the installer does: appTolvik.ini from the template with the folder's
// absolute path (plus `extraSettings` in [Tolvik]), the static station files, the generated
// manufacturer file where the build made one, and the campaign file.
inline void prepareStation(const StationPaths& paths, const std::filesystem::path& station,
                           const std::string& extraSettings) {
    namespace fs = std::filesystem;
    std::string settings = readWholeFile(fs::path(paths.sourceDir) / "data/appTolvik.ini.in");
    const std::string marker = "@STATION@";
    for (auto at = settings.find(marker); at != std::string::npos; at = settings.find(marker)) {
        settings.replace(at, marker.size(), station.string());
    }
    writeWholeFile(station / "appTolvik.ini", settings + extraSettings);
    for (const auto& entry : fs::directory_iterator(fs::path(paths.sourceDir) / "data/station")) {
        fs::copy_file(entry.path(), station / entry.path().filename());
    }
    const fs::path manufacturers = fs::path(paths.binDir) / "../data/manufacturers.dat";
    if (fs::exists(manufacturers)) {
        fs::copy_file(manufacturers, station / "manufacturers.dat");
    }
    writeWholeFile(station / "tolvik.ini", welcomeCampaign());
}

inline std::unique_ptr<ChildProcess> startPhonesim(const StationPaths& paths,
                                                   const std::filesystem::path& world,
                                                   const std::filesystem::path& inbox,
                                                   const std::filesystem::path& logFolder) {
    return std::make_unique<ChildProcess>(
        ChildProcess::Setup{{paths.binDir + "/phonesim", world.string(), inbox.string()},
                            logFolder.string(),
                            {},
                            (logFolder / "phonesim.out").string(),
                            (logFolder / "phonesim.err").string()});
}

// The station without a window, in the simulated world; `runtime` holds its single-instance
// lock, so that stations of other test runs on the machine do not refuse it.
inline std::unique_ptr<ChildProcess> startStation(const StationPaths& paths,
                                                  const std::filesystem::path& station,
                                                  const std::filesystem::path& world,
                                                  const std::filesystem::path& runtime,
                                                  const std::string& logName) {
    return std::make_unique<ChildProcess>(ChildProcess::Setup{
        {paths.binDir + "/Nyvex", "--headless"},
        station.string(),
        {{"NYVEX_SIMULATION", world.string()}, {"XDG_RUNTIME_DIR", runtime.string()}},
        (runtime / (logName + ".out")).string(),
        (runtime / (logName + ".err")).string()});
}

// Waits until phonesim reports that every phone listens; false when it ended or took too long.
inline bool phonesimListening(ChildProcess& phonesim, std::size_t phones) {
    return waitUntil(
               [&] {
                   return countOf(phonesim.output(), " listening on ") >= phones ||
                          !phonesim.running();
               },
               std::chrono::seconds(20), pollFiles) &&
           phonesim.running();
}

}  // namespace e2e
