#include "simworld.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/btaddress.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace simworld {

namespace {

// A value with its trailing "; comment" removed.
std::string valueOf(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& fallback) {
    std::string value = platform::profile::read(file, section, key, fallback);
    const auto comment = value.find(';');
    if (comment != std::string::npos) {
        value.erase(comment);
    }
    return platform::trim(value);
}

bool hasSection(const std::string& file, const std::string& section) {
    for (const auto& s : platform::profile::sections(file)) {
        if (platform::equalsIgnoreCase(s, section)) {
            return true;
        }
    }
    return false;
}

std::optional<Radio> loadRadio(const std::string& file, std::vector<std::string>& problems) {
    if (!hasSection(file, "radio")) {
        return std::nullopt;
    }
    Radio radio;
    const std::string address = valueOf(file, "radio", "address", "");
    const auto parsed = platform::btaddress::parse(address);
    if (!parsed) {
        problems.push_back("[radio]: bad address '" + address + "'");
        return std::nullopt;
    }
    radio.address = *parsed;
    radio.name = valueOf(file, "radio", "name", "");
    const std::string scale = valueOf(file, "radio", "timescale", "1");
    const auto parsedScale = platform::parseDecimal(scale);
    if (!parsedScale || *parsedScale < 0) {
        problems.push_back("[radio]: bad timescale '" + scale + "', using 1");
    } else {
        radio.timescale = *parsedScale;
    }
    return radio;
}

bool parseEndpoint(const std::string& text, Phone& phone) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    const std::int64_t port = platform::parseLeadingInt64(text.substr(colon + 1));
    if (port <= 0 || port > 65535) {
        return false;
    }
    phone.obexHost = text.substr(0, colon);
    phone.obexPort = static_cast<int>(port);
    return true;
}

// A decimal number from `low` to `high`; nothing for any other text.
std::optional<double> numberWithin(const std::string& text, double low, double high) {
    const auto value = platform::parseDecimal(text);
    if (!value || *value < low || *value > high) {
        return std::nullopt;
    }
    return value;
}

std::chrono::microseconds microsecondsOf(double value, double unitInMicroseconds) {
    return std::chrono::microseconds(std::llround(value * unitInMicroseconds));
}

// A link key that is absent keeps the default; a malformed or out-of-range value is reported
// and also keeps it, so a typing error never turns into an absurd delay.
std::optional<double> linkValue(const std::string& file, const std::string& section,
                                const std::string& key, double high, const std::string& unit,
                                std::vector<std::string>& problems) {
    const std::string text = valueOf(file, section, key, "");
    if (text.empty()) {
        return std::nullopt;
    }
    const auto value = numberWithin(text, 0, high);
    if (!value) {
        char range[64];
        std::snprintf(range, sizeof range, "0 to %.0f", high);
        problems.push_back("[" + section + "]: bad " + key + " '" + text + "' (" + range + " " +
                           unit + "), using 0");
    }
    return value;
}

Link loadLink(const std::string& file, const std::string& section,
              std::vector<std::string>& problems) {
    Link link;
    const double maxRoundTrip = static_cast<double>(Link::maxRoundTrip.count());
    if (const auto rtt = linkValue(file, section, "rtt", maxRoundTrip, "ms", problems)) {
        link.roundTrip = microsecondsOf(*rtt, 1e3);
    }
    if (const auto rate =
            linkValue(file, section, "rate", Link::maxKilobitsPerSecond, "kbit/s", problems)) {
        link.kilobitsPerSecond = *rate;
    }
    if (platform::toLowerAscii(valueOf(file, section, "acceptdelay", "")) == "never") {
        link.neverDecides = true;
        return link;
    }
    const double maxDelay = static_cast<double>(Link::maxAcceptDelay.count());
    if (const auto delay = linkValue(file, section, "acceptdelay", maxDelay, "s", problems)) {
        link.acceptDelay = microsecondsOf(*delay, 1e6);
    }
    return link;
}

std::optional<Phone> loadPhone(const std::string& file, const std::string& section,
                               std::vector<std::string>& problems) {
    Phone phone;
    phone.section = section;
    const std::string address = valueOf(file, section, "address", "");
    const auto parsed = platform::btaddress::parse(address);
    if (!parsed) {
        problems.push_back("[" + section + "]: bad address '" + address + "', phone left out");
        return std::nullopt;
    }
    phone.address = *parsed;
    phone.name = valueOf(file, section, "name", "");
    phone.classOfDevice = static_cast<std::uint32_t>(
        std::strtoul(valueOf(file, section, "class", "0").c_str(), nullptr, 0));
    phone.inRange = valueOf(file, section, "inrange", "1") != "0";
    const std::string obex = valueOf(file, section, "obex", "");
    if (!obex.empty() && !parseEndpoint(obex, phone)) {
        problems.push_back("[" + section + "]: bad obex endpoint '" + obex + "'");
    }
    const std::string channel = valueOf(file, section, "channel", "");
    if (!channel.empty()) {
        phone.channel = platform::parseLeadingInt32(channel);
    }
    phone.answer = platform::toLowerAscii(valueOf(file, section, "answer", "accept"));
    phone.link = loadLink(file, section, problems);
    return phone;
}

}  // namespace

std::optional<std::string> worldFile() {
    const char* file = std::getenv(environmentVariable);
    if (file == nullptr || *file == '\0') {
        return std::nullopt;
    }
    return std::string(file);
}

World load(const std::string& file) {
    World world;
    if (!platform::fileExists(file)) {
        world.problems.push_back("world file " + file + " not found");
        return world;
    }
    world.radio = loadRadio(file, world.problems);
    for (int n = 1; hasSection(file, "phone" + std::to_string(n)); ++n) {
        if (auto phone = loadPhone(file, "phone" + std::to_string(n), world.problems)) {
            world.phones.push_back(std::move(*phone));
        }
    }
    return world;
}

std::string addressText(std::uint64_t address) {
    return platform::btaddress::withColons(address);
}

}  // namespace simworld
