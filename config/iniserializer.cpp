#include "iniserializer.h"

#include "config/configstore.h"
#include "platform/profile.h"
#include "platform/text.h"

void CSerializerBase::declareKey(const std::string& key) {
    values[key].clear();
}

std::string CSerializerBase::getValue4Key(const std::string& key) const {
    const auto it = values.find(key);
    if (it == values.end()) {
        throw CNotAKeyException("getValue4Key " + key);
    }
    return it->second;
}

void CSerializerBase::setValue4Key(const std::string& key, const std::string& value) {
    const auto it = values.find(key);
    if (it == values.end()) {
        throw CNotAKeyException("setValue4Key " + key);
    }
    it->second = value;
    fresh = 0;
}

std::int32_t CSerializerBase::getInt(const std::string& key) const {
    return platform::parseLeadingInt32(getValue4Key(key));
}

std::int64_t CSerializerBase::getInt64(const std::string& key) const {
    return platform::parseLeadingInt64(getValue4Key(key));
}

void CSerializerBase::setInt(const std::string& key, std::int32_t value) {
    setValue4Key(key, std::to_string(value));
}

void CSerializerBase::setInt64(const std::string& key, std::int64_t value) {
    setValue4Key(key, std::to_string(value));
}

void CIniBatch::write(const std::string& section, const std::string& key,
                      const std::string& value) {
    changes.push_back({platform::profile::Change::Kind::write, section, key, value});
}

void CIniBatch::deleteKey(const std::string& section, const std::string& key) {
    changes.push_back({platform::profile::Change::Kind::deleteKey, section, key, {}});
}

void CIniBatch::deleteSectionIfEmpty(const std::string& section) {
    changes.push_back({platform::profile::Change::Kind::deleteSectionIfEmpty, section, {}, {}});
}

bool CIniBatch::commit() const {
    return platform::profile::applyBatch(config::configCopy().dataIniPath(), changes);
}

void CList2IniSerializer::store(int n) const {
    CIniBatch batch;
    store(n, batch);
    batch.commit();
}

void CList2IniSerializer::store(int n, CIniBatch& batch) const {
    for (const auto& [key, value] : values) {
        batch.write(sectionName(n), key, value);
    }
}

bool CList2IniSerializer::load(int n) {
    const std::string file = config::configCopy().dataIniPath();
    for (auto& [key, value] : values) {
        std::string read = platform::profile::read(file, sectionName(n), key, missingMarker);
        if (platform::equalsIgnoreCase(read, missingMarker)) {
            return false;
        }
        value = std::move(read);
    }
    fresh = 0;
    return true;
}

void CList2IniSerializer::erase(int n) const {
    CIniBatch batch;
    erase(n, batch);
    batch.commit();
}

void CList2IniSerializer::erase(int n, CIniBatch& batch) const {
    for (const auto& entry : values) {
        batch.deleteKey(sectionName(n), entry.first);
    }
}
