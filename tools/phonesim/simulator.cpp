#include "tools/phonesim/simulator.h"

namespace phonesim {

Simulator::Simulator(std::filesystem::path i, EventSink e, ServerLimits l)
    : inbox(std::move(i)), events(std::move(e)), limits(l) {}

Simulator::~Simulator() {
    stop();
}

std::optional<std::string> Simulator::start(const simworld::World& world) {
    if (world.phones.empty()) {
        return std::string("the world has no phones");
    }
    for (const auto& phone : world.phones) {
        if (phone.obexHost.empty()) {
            continue;
        }
        if (auto problem = startPhone(phone)) {
            stop();
            return "[" + phone.section + "] " + simworld::addressText(phone.address) + ": " +
                   *problem;
        }
    }
    if (servers.empty()) {
        return std::string("no phone of the world has an obex endpoint");
    }
    return std::nullopt;
}

std::optional<std::string> Simulator::startPhone(const simworld::Phone& phone) {
    const auto answer = parseAnswer(phone.answer);
    if (!answer) {
        return "unknown answer '" + phone.answer + "' (accept, refuse, silent or slow)";
    }
    auto server = std::make_unique<PhoneServer>(
        PhoneSettings{phone.address, phone.obexHost, phone.obexPort, *answer}, inbox, events,
        limits);
    if (auto problem = server->start()) {
        return problem;
    }
    if (events) {
        events(simworld::addressText(phone.address) + " listening on " + phone.obexHost + ":" +
               std::to_string(server->port()) + " (" + phone.answer + ")");
    }
    servers.push_back(std::move(server));
    return std::nullopt;
}

void Simulator::stop() {
    for (auto& server : servers) {
        server->stop();
    }
    servers.clear();
}

}  // namespace phonesim
