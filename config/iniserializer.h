#pragma once
// Records of named text fields stored as numbered sections of the data INI file ("tolvik.ini"):
// campaigns, schedules, periods and the blocked-manufacturer list derive from these.

#include <cstdint>
#include <map>
#include <string>

#include "config/configexceptions.h"

class CSerializerBase {
  public:
    virtual ~CSerializerBase() = default;

    void declareKey(const std::string& key);
    std::string getValue4Key(const std::string& key) const;
    void setValue4Key(const std::string& key, const std::string& value);
    std::int32_t getInt(const std::string& key) const;
    std::int64_t getInt64(const std::string& key) const;
    void setInt(const std::string& key, std::int32_t value);
    void setInt64(const std::string& key, std::int64_t value);
    bool isFresh() const { return fresh != 0; }

  protected:
    std::map<std::string, std::string> values;
    unsigned char fresh = 0;
};

class CList2IniSerializer : public CSerializerBase {
  public:
    static constexpr const char* missingMarker = "default66bb";

    CList2IniSerializer() { fresh = 1; }

    void setListName(const std::string& name) { listName = name; }
    const std::string& getListName() const { return listName; }
    void store(int n) const;
    bool load(int n);
    void erase(int n) const;

  protected:
    std::string sectionName(int n) const { return listName + std::to_string(n); }

  private:
    std::string listName;
};
