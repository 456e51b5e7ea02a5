#pragma once
// All the phones of a world file at once: one Object Push server for every phone that has an
// OBEX endpoint, each storing into its own folder of one inbox.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "libs/simworld/simworld.h"
#include "tools/phonesim/phoneserver.h"

namespace phonesim {

class Simulator {
  public:
    Simulator(std::filesystem::path inbox, EventSink events, ServerLimits limits = {});
    ~Simulator();  // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Starts every phone's server and reports "<address> listening on <host>:<port> (<answer>)"
    // for each, the answer followed by the phone's link when it has one. On the first failure,
    // stops those already started and tells what went wrong, naming the phone.
    std::optional<std::string> start(const simworld::World& world);
    void stop();

  private:
    std::optional<std::string> startPhone(const simworld::Phone& phone);

    std::filesystem::path inbox;
    EventSink events;
    ServerLimits limits;
    std::vector<std::unique_ptr<PhoneServer>> servers;
};

}  // namespace phonesim
