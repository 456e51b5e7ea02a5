#include "radioname.h"

#include <algorithm>

#include "libs/bluezbus/radioname.h"
#include "libs/simworld/simworld.h"
#include "platform/profile.h"

namespace {
bool hasControlCharacter(const std::string& name) {
    return std::any_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}
}  // namespace

namespace radioname {

int setSimulatedName(const std::string& worldFile, const std::string& name) {
    if (!simworld::load(worldFile).radio) {
        return 1;
    }
    return platform::profile::write(worldFile, "radio", "name", name) ? 0 : 1;
}

std::string simulatedDescription(const std::string& worldFile) {
    return simworld::load(worldFile).radio ? CDInterface::simulatedDescription : "";
}

}  // namespace radioname

int CDInterface::setLocalName(const std::string& name) {
    if (hasControlCharacter(name)) {
        return 1;
    }
    if (const auto world = simworld::worldFile()) {
        return radioname::setSimulatedName(*world, name);
    }
    return bluezbus::CRadioName().setLocalName(name);
}

std::string CDInterface::radioDescription() {
    if (const auto world = simworld::worldFile()) {
        return radioname::simulatedDescription(*world);
    }
    return bluezbus::CRadioName().radioDescription();
}
