#include "campaign.h"

#include "campaigns/campaignmgr.h"
#include "campaigns/mimetypes.h"
#include "config/configstore.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/filechecker.h"

namespace campag {

namespace {
const std::string listPrefix = "campaign";
const std::string nameKey = "campaname";
const std::string sendNameKey = "sendfilename";
const std::string mediaKey = "mediafile";
const std::string prioKey = "prio";

// The extension of a path's last component, from its last dot (dot included); "" without one.
std::string extensionOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = fileName.find_last_of('.');
    return dot == std::string::npos ? std::string() : fileName.substr(dot);
}

bool hasUsableExtension(const std::string& path) {
    return platform::utf16Length(platform::trim(extensionOf(path))) >= 2;
}

bool isAbsolute(const std::string& path) {
    return !path.empty() && path.front() == '/';
}
}  // namespace

CCampaign::CCampaign(const CCampaignMgr* manager)
    : manager(manager), campaignSchedule(std::make_unique<schedule::CSchedule>()) {
    declareKey(nameKey);
    declareKey(sendNameKey);
    declareKey(mediaKey);
    declareKey(prioKey);
    setListName(listPrefix);
    campaignSchedule->setListName(listPrefix);
    if (manager && manager->hasAlwaysCampaign()) {
        campaignSchedule->setType(schedule::weekdays);
        setPrio(manager->lowestFreePrio());
    } else {
        setPrio(ALWAYS_PRIO);
    }
}

CCampaign::~CCampaign() = default;

int CCampaign::getPrio() const {
    return getInt(prioKey);
}

void CCampaign::setPrio(int prio) {
    const bool isAlways = campaignSchedule->getType() == schedule::always;
    if (isAlways && prio != ALWAYS_PRIO) {
        throw CCampaignException("ALWAYS campaign must have ALWAYS_PRIO");
    }
    if (!isAlways && prio == ALWAYS_PRIO) {
        throw CCampaignException("only ALWAYS campaign may have ALWAYS_PRIO");
    }
    setInt(prioKey, prio);
}

void CCampaign::setScheduleType(int type) {
    const int current = campaignSchedule->getType();
    if (type == current) {
        return;
    }
    if (type == schedule::always) {
        if (manager && manager->hasOtherAlwaysCampaign(this)) {
            throw CCampaignException("only one ALWAYS campaign is allowed");
        }
        campaignSchedule->setType(type);
        setPrio(ALWAYS_PRIO);
    } else if (current == schedule::always) {
        campaignSchedule->setType(type);
        setPrio(lowestFreePrio());
    } else {
        campaignSchedule->setType(type);
    }
    campaignSchedule->clearPeriods();
}

int CCampaign::lowestFreePrio() const {
    return manager ? manager->lowestFreePrio() : 1;
}

std::string CCampaign::dataFolder() const {
    return config::configCopy().getString("path", false);
}

std::string CCampaign::getMediaFilePath() const {
    const std::string media = getValue4Key(mediaKey);
    if (platform::utf16Length(media) < 3) {
        return {};
    }
    if (platform::fileExists(media) || platform::isDirectory(media) || isAbsolute(media)) {
        return media;
    }
    return dataFolder() + media;
}

std::string CCampaign::getExtension() const {
    const std::string extension = platform::trim(extensionOf(getMediaFilePath()));
    if (platform::utf16Length(extension) < 2) {
        throw CCampaignException("campaign has empty extension");
    }
    return extension;
}

std::string CCampaign::getSendFileName() const {
    return getValue4Key(sendNameKey) + getExtension();
}

std::string CCampaign::getMimeType() const {
    const std::string extension = extensionOf(getValue4Key(mediaKey));
    if (extension.empty()) {
        return CMimeTypes::fallback;
    }
    return CMimeTypes::system().typeOf(extension);
}

bool CCampaign::mediaFileExists() const {
    const std::string media = getValue4Key(mediaKey);
    if (!platform::fileExists(media) && !platform::fileExists(dataFolder() + media)) {
        return false;
    }
    // The same rule as getExtension(), so that a sendable campaign always has a send name.
    return hasUsableExtension(getMediaFilePath());
}

bool CCampaign::hasMimeType() const {
    return platform::utf16Length(platform::trim(getValue4Key(mediaKey))) >= 3 &&
           platform::utf16Length(getMimeType()) >= 3;
}

bool CCampaign::isNameValid() const {
    return CFileChecker::isValidFileName(getValue4Key(nameKey));
}

bool CCampaign::isSendFileNameValid() const {
    return CFileChecker::isValidFileName(getValue4Key(sendNameKey));
}

bool CCampaign::isSendable() const {
    return mediaFileExists() && hasMimeType() && isNameValid() && isSendFileNameValid();
}

void CCampaign::save(int n) {
    CIniBatch batch;
    save(n, batch);
    batch.commit();
}

void CCampaign::save(int n, CIniBatch& batch) {
    if (n != 0) {
        index = n;
    }
    store(index, batch);
    campaignSchedule->setListName(getListName());
    campaignSchedule->save(index, batch);
}

bool CCampaign::load(int n) {
    if (n != 0) {
        index = n;
    }
    const bool recordLoaded = CList2IniSerializer::load(index);
    // The schedule is read even when the campaign's own keys are incomplete, so that an erase
    // that follows knows every period key the section holds.
    campaignSchedule->setListName(getListName());
    const bool scheduleLoaded = campaignSchedule->load(index);
    return recordLoaded && scheduleLoaded;
}

void CCampaign::erase(int n) {
    CIniBatch batch;
    erase(n, batch);
    batch.commit();
}

void CCampaign::erase(int n, CIniBatch& batch) {
    if (n != 0) {
        index = n;
    }
    campaignSchedule->setListName(getListName());
    campaignSchedule->erase(index, batch);
    campaignSchedule->clearPeriods();
    CList2IniSerializer::erase(index, batch);
}

std::unique_ptr<CCampaign> CCampaign::copyForSending() const {
    auto copy = std::make_unique<CCampaign>(nullptr);
    copyRecordInto(*copy);
    return copy;
}

void CCampaign::copyRecordInto(CCampaign& copy) const {
    copy.campaignSchedule->setType(campaignSchedule->getType());
    copy.values = values;
    copy.fresh = fresh;
    copy.index = index;
}

}  // namespace campag
