#include "tools/phonesim/simulator.h"

#include <cstdio>

namespace phonesim {

namespace {

// How the phone's link and user show in its "listening" line; nothing for an instant link.
std::string linkText(const simworld::Link& link) {
    if (link.isInstant()) {
        return "";
    }
    char text[160];
    const double rtt = static_cast<double>(link.roundTrip.count()) / 1e3;
    const double delay = static_cast<double>(link.acceptDelay.count()) / 1e6;
    std::string rate = "no rate limit";
    if (link.kilobitsPerSecond > 0) {
        std::snprintf(text, sizeof text, "%g kbit/s", link.kilobitsPerSecond);
        rate = text;
    }
    std::string decision = "user never decides";
    if (!link.neverDecides) {
        std::snprintf(text, sizeof text, "user decides after %g s", delay);
        decision = link.acceptDelay.count() == 0 ? "user accepts at once" : text;
    }
    std::snprintf(text, sizeof text, "; link rtt %g ms, %s; %s", rtt, rate.c_str(),
                  decision.c_str());
    return text;
}

}  // namespace

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
    const auto hostility = parseHostility(phone.answer);
    if (!answer && !hostility) {
        return "unknown answer '" + phone.answer +
               "' (accept, refuse, silent or slow; hostile: noise, trickle, lielong, lieshort, "
               "liebelow3, oversize, cutoff or flood)";
    }
    auto server = std::make_unique<PhoneServer>(
        PhoneSettings{phone.address, phone.obexHost, phone.obexPort,
                      answer.value_or(Answer::accept), phone.link, hostility},
        inbox, events, limits);
    if (auto problem = server->start()) {
        return problem;
    }
    if (events) {
        events(simworld::addressText(phone.address) + " listening on " + phone.obexHost + ":" +
               std::to_string(server->port()) + " (" + phone.answer + linkText(phone.link) + ")");
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
