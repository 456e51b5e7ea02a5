#include "campaignmgr.h"

#include <bitset>
#include <cstdint>

#include "campaigns/randomname.h"
#include "config/configstore.h"
#include "platform/text.h"
#include "support/buckethash.h"
#include "support/logentry.h"

namespace campag {

namespace {
constexpr int highestPrio = 999;
constexpr int rangeTestNameLength = 8;
const std::string testPictureName = "testpic.gif";
}  // namespace

CCampaignMgr::CCampaignMgr() = default;
CCampaignMgr::~CCampaignMgr() = default;

std::size_t CCampaignMgr::bucketOf(const std::string& name) {
    return support::bucketOf(platform::toUtf16(name), bucketCount);
}

CCampaign* CCampaignMgr::step(Position& position) const {
    while (position.bucket < bucketCount) {
        const auto& chain = campaignMap[position.bucket];
        if (position.link < chain.size()) {
            return chain[position.link++].campaign.get();
        }
        ++position.bucket;
        position.link = 0;
    }
    return nullptr;
}

CCampaign* CCampaignMgr::stepActive(Position& position) const {
    const std::int64_t now = schedule::currentTime();
    CCampaign* campaign = step(position);
    while (campaign && !campaign->getSchedule()->isActive(now)) {
        campaign = step(position);
    }
    return campaign;
}

CCampaign* CCampaignMgr::getFirst() {
    cursor = Position{};
    return step(cursor);
}

CCampaign* CCampaignMgr::getNext() {
    return step(cursor);
}

CCampaign* CCampaignMgr::getFirstActive() {
    activeCursor = Position{};
    return stepActive(activeCursor);
}

CCampaign* CCampaignMgr::getNextActive() {
    return stepActive(activeCursor);
}

CCampaignMgr::Entry* CCampaignMgr::findByName(const std::string& name) {
    for (Entry& entry : campaignMap[bucketOf(name)]) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

int CCampaignMgr::getCount() const {
    std::size_t count = 0;
    for (const auto& chain : campaignMap) {
        count += chain.size();
    }
    return static_cast<int>(count);
}

void CCampaignMgr::clear() {
    for (auto& chain : campaignMap) {
        chain.clear();
    }
}

bool CCampaignMgr::addCampaign(std::unique_ptr<CCampaign>&& campaign) {
    const std::string name = campaign->getValue4Key("campaname");
    if (findByName(name)) {
        return false;
    }
    auto& chain = campaignMap[bucketOf(name)];
    chain.insert(chain.begin(), Entry{name, std::move(campaign)});
    return true;
}

void CCampaignMgr::removeCampaign(CCampaign* campaign) {
    if (!campaign) {
        return;
    }
    for (auto& chain : campaignMap) {
        for (auto it = chain.begin(); it != chain.end(); ++it) {
            if (it->campaign.get() != campaign) {
                continue;
            }
            // The erase and the new list go to the file in one replacement.
            CIniBatch batch;
            campaign->erase(0, batch);
            chain.erase(it);
            saveAll(batch);
            return;
        }
    }
}

bool CCampaignMgr::rename(CCampaign* campaign) {
    const std::string name = campaign->getValue4Key("campaname");
    for (auto& chain : campaignMap) {
        for (auto it = chain.begin(); it != chain.end(); ++it) {
            if (it->campaign.get() != campaign) {
                continue;
            }
            if (it->name == name) {
                return true;
            }
            if (findByName(name) != nullptr) {
                return false;
            }
            std::unique_ptr<CCampaign> owned = std::move(it->campaign);
            chain.erase(it);
            auto& target = campaignMap[bucketOf(name)];
            target.insert(target.begin(), Entry{name, std::move(owned)});
            return true;
        }
    }
    return false;
}

void CCampaignMgr::loadAll() {
    clear();
    int n = 1;
    for (;; ++n) {
        auto campaign = std::make_unique<CCampaign>(this);
        if (!campaign->load(n)) {
            break;
        }
        insertLoaded(std::move(campaign));
    }
    sectionCount = n - 1;
}

void CCampaignMgr::insertLoaded(std::unique_ptr<CCampaign> campaign) {
    CCampaign& loaded = *campaign;
    const std::string name = campaign->getValue4Key("campaname");
    if (Entry* existing = findByName(name)) {
        // A later section of the same name replaces the earlier campaign in its place.
        existing->campaign = std::move(campaign);
    } else {
        auto& chain = campaignMap[bucketOf(name)];
        chain.insert(chain.begin(), Entry{name, std::move(campaign)});
    }
    enforcePriorityRules(loaded);
}

// A list file edited by hand may break the rules the dialogs keep; the campaign is then loaded in
// the nearest shape the rules allow, and the change is logged.
void CCampaignMgr::enforcePriorityRules(CCampaign& campaign) {
    const std::string where = "campaign" + std::to_string(campaign.getIndex()) + " \"" +
                              campaign.getValue4Key("campaname") + "\": ";
    const bool isAlways = campaign.getSchedule()->getType() == schedule::always;
    if (isAlways && hasOtherAlwaysCampaign(&campaign)) {
        support::logError(where + "a second ALWAYS campaign, loaded as a weekday campaign",
                          support::typeTag(this));
        campaign.getSchedule()->setType(schedule::weekdays);
        campaign.getSchedule()->clearPeriods();
        campaign.setPrio(lowestFreePrio());
    } else if (isAlways && campaign.getPrio() != ALWAYS_PRIO) {
        support::logError(where + "ALWAYS campaign loaded with ALWAYS_PRIO",
                          support::typeTag(this));
        campaign.setPrio(ALWAYS_PRIO);
    } else if (!isAlways && campaign.getPrio() == ALWAYS_PRIO) {
        support::logError(where + "scheduled campaign loaded with the lowest free priority",
                          support::typeTag(this));
        campaign.setPrio(lowestFreePrio());
    }
}

bool CCampaignMgr::saveAll() {
    CIniBatch batch;
    return saveAll(batch);
}

bool CCampaignMgr::saveAll(CIniBatch& batch) {
    CCampaign scratch(this);
    for (int n = sectionCount; n >= 1; --n) {
        eraseStoredSection(scratch, n, batch);
    }
    int written = 0;
    Position position;
    while (CCampaign* campaign = step(position)) {
        campaign->save(++written, batch);
    }
    if (!batch.commit()) {
        // The file still holds the sections of the last load or save: the next save removes
        // those.
        support::logError("campaigns not saved: cannot write " + config::configCopy().dataIniPath(),
                          support::typeTag(this));
        return false;
    }
    sectionCount = written;
    return true;
}

void CCampaignMgr::eraseStoredSection(CCampaign& scratch, int n, CIniBatch& batch) const {
    // Loading first tells the scratch campaign which period keys the section holds; the file
    // is not changed before the batch is written, so every section reads as it was.
    scratch.load(n);
    scratch.erase(n, batch);
    batch.deleteSectionIfEmpty(scratch.getListName() + std::to_string(n));
}

CCampaign* CCampaignMgr::chooseCampaign() const {
    const std::int64_t now = schedule::currentTime();
    CCampaign* best = nullptr;
    Position position;
    while (CCampaign* campaign = step(position)) {
        if (!campaign->getSchedule()->isActive(now)) {
            continue;
        }
        if (best && campaign->getPrio() >= best->getPrio()) {
            continue;
        }
        if (campaign->isSendable()) {
            best = campaign;
        }
    }
    return best;
}

bool CCampaignMgr::hasSendableNow() const {
    return getCount() > 0 && chooseCampaign() != nullptr;
}

CCampaign* CCampaignMgr::getRangeTestCampaign() {
    if (!rangeTest) {
        rangeTest = std::make_unique<CRTCampaign>(this);
        rangeTest->setValue4Key("mediafile",
                                config::configCopy().getString("path", false) + testPictureName);
    }
    rangeTest->setValue4Key("sendfilename", CRandomName().make(rangeTestNameLength));
    if (rangeTest->isSendable()) {
        return rangeTest.get();
    }
    rangeTest.reset();
    return nullptr;
}

int CCampaignMgr::lowestFreePrio() const {
    std::bitset<highestPrio + 1> taken;
    Position position;
    while (const CCampaign* campaign = step(position)) {
        const int prio = campaign->getPrio();
        if (prio >= 1 && prio <= highestPrio) {
            taken.set(static_cast<std::size_t>(prio));
        }
    }
    for (int prio = 1; prio <= highestPrio; ++prio) {
        if (!taken.test(static_cast<std::size_t>(prio))) {
            return prio;
        }
    }
    return highestPrio;
}

bool CCampaignMgr::hasAlwaysCampaign() const {
    return hasOtherAlwaysCampaign(nullptr);
}

bool CCampaignMgr::hasOtherAlwaysCampaign(const CCampaign* campaign) const {
    Position position;
    while (const CCampaign* other = step(position)) {
        if (other != campaign && other->getSchedule()->getType() == schedule::always) {
            return true;
        }
    }
    return false;
}

}  // namespace campag
