#pragma once
// The operator texts: every caption, label and message is looked up by a short key in a table
// loaded once at start-up from "resource.xml", so the interface is translated without rebuilding.

#include <map>
#include <stdexcept>
#include <string>

#include "support/messageexception.h"

// The text file could not be read or parsed.
class CResoException : public CMessageException {
  public:
    using CMessageException::CMessageException;
};

class CResoMap;

// Receives the parser's events: each resstr element's cod attribute names a key, and all of the
// element's character data, up to its end, is that key's text.
class A1ContentHandler {
  public:
    explicit A1ContentHandler(CResoMap& target) : map(target) {}
    void startElement(const char* name, const char** attributes);
    void endElement(const char* name);
    void characters(const char* data, int length);

  private:
    CResoMap& map;
    std::string collected;
    int depthInText = 0;
};

class CResoMap {
  public:
    static constexpr std::size_t maxTextLength = 999;

    // Reads `file` (by default "resource.xml" in the current directory). Throws CResoException;
    // texts read before a parse error stay in the table.
    void load(const std::string& file = "resource.xml");
    bool lookup(const std::string& key, std::string& out) const;
    std::size_t size() const { return entries.size(); }

  private:
    friend class A1ContentHandler;
    std::map<std::string, std::string> entries;
    std::string pendingKey;
};
