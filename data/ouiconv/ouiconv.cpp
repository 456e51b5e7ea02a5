// ouiconv INPUT OUTPUT: converts the IEEE OUI list (the "(hex)" lines of oui.txt) into the
// station's manufacturer data file: UTF-16LE with a byte-order mark, one line per OUI,
//   resource_STRING<OUI as nine decimal digits> name resource_END<the same digits>
// in the order of the list, so the first record of a repeated OUI is the one the station uses.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "platform/text.h"

namespace {

// "00-22-72   (hex)\t\tAmerican Micro-Fuel Device Corp." -> 0x002272 and the name.
bool parseHexLine(const std::string& line, unsigned& oui, std::string& name) {
    const std::size_t tag = line.find("(hex)");
    if (tag == std::string::npos || tag < 8) {
        return false;
    }
    unsigned a = 0, b = 0, c = 0;
    char tail = 0;
    if (std::sscanf(line.c_str(), "%2x-%2x-%2x%c", &a, &b, &c, &tail) != 4 || tail != ' ') {
        return false;
    }
    oui = a << 16 | b << 8 | c;
    name = platform::trim(line.substr(tag + 5));
    return true;
}

std::string record(unsigned oui, const std::string& name) {
    char start[32], end[32];
    std::snprintf(start, sizeof start, "resource_STRING%09u", oui);
    std::snprintf(end, sizeof end, "resource_END%09u", oui);
    return std::string(start) + ' ' + name + ' ' + end + "\r\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: ouiconv oui.txt manufacturers.dat\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "ouiconv: cannot read " << argv[1] << '\n';
        return 1;
    }
    std::string text;
    std::string line;
    int records = 0;
    while (std::getline(in, line)) {
        unsigned oui = 0;
        std::string name;
        if (parseHexLine(line, oui, name)) {
            text += record(oui, name);
            ++records;
        }
    }
    if (records == 0) {
        std::cerr << "ouiconv: no OUI records in " << argv[1] << '\n';
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << "\xFF\xFE" << platform::toUtf16leBytes(text);
    out.close();
    if (!out) {
        std::cerr << "ouiconv: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
