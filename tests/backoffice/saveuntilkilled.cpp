// save_until_killed FOLDER FIRST: does what a busy station does to its files, without end, until
// it is killed. Device FIRST, FIRST + 1, ... is served one after the other: the back office
// records it and saves the device memory FOLDER/mem.arc; then the settings file and the list
// file (FOLDER/appTolvik.ini, FOLDER/tolvik.ini) are written. After each step that reached the
// disk it prints one line: "memory N", "settings N", "list N".

#include <cstdint>
#include <cstdio>
#include <string>

#include "backoffice/backoffice.h"
#include "platform/profile.h"
#include "tests/common/sightings.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: save_until_killed FOLDER FIRST\n");
        return 2;
    }
    const std::string folder = argv[1];
    backo::CBackOffice office;
    office.configure(3650, false, false);
    if (!office.openStore(folder + "/mem.arc")) {
        std::fprintf(stderr, "save_until_killed: the memory did not load\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (std::uint64_t n = std::stoull(argv[2]);; ++n) {
        const auto sighting = testing_support::makeSighting(0x0000'5A00'0000'0000ULL + n);
        if (office.markServed(*sighting) && office.save()) {
            std::printf("memory %llu\n", static_cast<unsigned long long>(n));
        }
        const std::string value = std::to_string(n);
        if (platform::profile::write(folder + "/appTolvik.ini", "Tolvik", "served", value)) {
            std::printf("settings %s\n", value.c_str());
        }
        if (platform::profile::write(folder + "/tolvik.ini", "campaign1", "prio", value)) {
            std::printf("list %s\n", value.c_str());
        }
        std::fflush(stdout);
    }
}
