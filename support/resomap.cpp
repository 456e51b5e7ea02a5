#include "resomap.h"

#include <expat.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "platform/text.h"

namespace {
// Names are compared after trimming; element names by their local part (after any prefix).
std::string localName(const char* qualified) {
    const std::string name = platform::trim(qualified);
    const auto colon = name.rfind(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

std::string cut(std::string text) {
    return platform::cutUtf16(text, CResoMap::maxTextLength);
}

void XMLCALL onStart(void* handler, const XML_Char* name, const XML_Char** attributes) {
    static_cast<A1ContentHandler*>(handler)->startElement(name, attributes);
}
void XMLCALL onEnd(void* handler, const XML_Char* name) {
    static_cast<A1ContentHandler*>(handler)->endElement(name);
}
void XMLCALL onCharacters(void* handler, const XML_Char* data, int length) {
    static_cast<A1ContentHandler*>(handler)->characters(data, length);
}

struct ParserDeleter {
    void operator()(XML_Parser p) const { XML_ParserFree(p); }
};
}  // namespace

void A1ContentHandler::startElement(const char* name, const char** attributes) {
    if (depthInText > 0) {
        ++depthInText;
        return;
    }
    if (localName(name) != "resstr") {
        return;
    }
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        if (platform::trim(cut(attributes[i])) == "cod") {
            map.pendingKey = cut(attributes[i + 1]);
        }
    }
    if (!map.pendingKey.empty()) {
        depthInText = 1;
        collected.clear();
    }
}

void A1ContentHandler::endElement(const char*) {
    if (depthInText == 0 || --depthInText > 0) {
        return;
    }
    map.entries[map.pendingKey] = cut(collected);
    map.pendingKey.clear();
    collected.clear();
}

void A1ContentHandler::characters(const char* data, int length) {
    // Texts longer than the cut are still read to their end, but only what will be kept is held.
    if (depthInText > 0 && collected.size() < CResoMap::maxTextLength * 4) {
        collected.append(data, static_cast<std::size_t>(length));
    }
}

void CResoMap::load(const std::string& file) {
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate(nullptr));
    if (!parser) {
        throw CResoException("XML Reader problematic!");
    }
    A1ContentHandler handler(*this);
    XML_SetUserData(parser.get(), &handler);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onCharacters);
    pendingKey.clear();

    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw CResoException("XML parsing failed!");
    }
    char buffer[16384];
    bool done = false;
    while (!done) {
        in.read(buffer, sizeof buffer);
        done = in.gcount() < static_cast<std::streamsize>(sizeof buffer);
        if (in.bad() ||
            XML_Parse(parser.get(), buffer, static_cast<int>(in.gcount()), done) != XML_STATUS_OK) {
            pendingKey.clear();
            throw CResoException("XML parsing failed!");
        }
    }
    pendingKey.clear();
}

bool CResoMap::lookup(const std::string& key, std::string& out) const {
    const auto it = entries.find(key);
    if (it == entries.end()) {
        return false;
    }
    out = it->second;
    return true;
}
