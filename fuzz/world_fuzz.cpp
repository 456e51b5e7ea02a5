// The simulated world file, as the radio and push libraries and the phone simulator read it:
// whatever it holds gives a world and a list of problems, never a fault.

#include <cstdint>
#include <string>

#include "fuzz/fuzzfiles.h"
#include "libs/simworld/simworld.h"
#include "tools/phonesim/phoneserver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzzing::ScratchFolder folder;
    const std::string file = folder.replace("world.ini", data, size);
    const simworld::World world = simworld::load(file);
    for (const simworld::Phone& phone : world.phones) {
        simworld::addressText(phone.address);
        phonesim::parseAnswer(phone.answer);
    }
    return 0;
}
