#pragma once
// What the phone simulator tests share: an event collector, a phone server in a temporary
// inbox, and a look at what landed in a folder.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/timedmutex.h"
#include "tests/common/tempfolder.h"
#include "tests/phonesim/obexclient.h"
#include "tools/phonesim/phoneserver.h"

namespace phonesim_test {

constexpr std::uint64_t phoneAddress = 0x001122AABBCCULL;

// Event lines from all connections, collected for the test to read.
class EventLog {
  public:
    phonesim::EventSink sink() {
        return [this](const std::string& line) {
            std::unique_lock guard(lock, std::defer_lock);
            if (guard.try_lock_for(std::chrono::seconds(5))) {
                lines.push_back(line);
            }
        };
    }
    std::vector<std::string> all() {
        std::unique_lock guard(lock, std::defer_lock);
        if (!guard.try_lock_for(std::chrono::seconds(5))) {
            return {};
        }
        return lines;
    }
    bool has(const std::string& line) {
        const auto seen = all();
        return std::find(seen.begin(), seen.end(), line) != seen.end();
    }

  private:
    platform::TimedMutex lock;
    std::vector<std::string> lines;
};

// Every entry of a folder, hidden ones included, as names; empty when it does not exist.
inline std::vector<std::string> entriesOf(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline Bytes contentsOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline Bytes patternBytes(std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF);
    }
    return bytes;
}

class PhoneServerTest : public ::testing::Test {
  protected:
    static phonesim::ServerLimits quickLimits() {
        phonesim::ServerLimits limits;
        limits.readTimeout = std::chrono::seconds(5);
        limits.slowDelay = std::chrono::milliseconds(200);
        limits.maxObjectSize = 100000;
        return limits;
    }

    // A phone on a free loopback port; the test fails when it does not start.
    phonesim::PhoneServer& startPhone(phonesim::Answer answer,
                                      phonesim::ServerLimits limits = quickLimits(),
                                      simworld::Link link = {}) {
        server = std::make_unique<phonesim::PhoneServer>(
            phonesim::PhoneSettings{phoneAddress, "127.0.0.1", 0, answer, link}, inbox(),
            events.sink(), limits);
        const auto problem = server->start();
        EXPECT_FALSE(problem) << *problem;
        return *server;
    }

    std::filesystem::path inbox() const { return root.path() / "inbox"; }
    std::filesystem::path phoneFolder() const { return inbox() / "001122AABBCC"; }
    int port() const { return server->port(); }

    testing_support::TempFolder root;
    EventLog events;
    std::unique_ptr<phonesim::PhoneServer> server;
};

}  // namespace phonesim_test
