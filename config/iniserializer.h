#pragma once
// Records of named text fields stored as numbered sections of the data INI file ("tolvik.ini"):
// campaigns, schedules, periods and the blocked-manufacturer list derive from these.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "config/configexceptions.h"
#include "platform/profile.h"

// Changes to the data INI file, collected from any number of records and then written with one
// replacement of the file: a crash or a failed write leaves the file as it was before the batch
// or with every change made, never a mix.
class CIniBatch {
  public:
    void write(const std::string& section, const std::string& key, const std::string& value);
    void deleteKey(const std::string& section, const std::string& key);
    // Removes the section once the changes before this one have left it without keys.
    void deleteSectionIfEmpty(const std::string& section);
    // Writes the changes to the data INI file; false (the file unchanged) when that failed.
    bool commit() const;

  private:
    std::vector<platform::profile::Change> changes;
};

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
    // store and erase write the file at once; the forms with a batch only add to it.
    void store(int n) const;
    void store(int n, CIniBatch& batch) const;
    bool load(int n);
    void erase(int n) const;
    void erase(int n, CIniBatch& batch) const;

  protected:
    std::string sectionName(int n) const { return listName + std::to_string(n); }

  private:
    std::string listName;
};
