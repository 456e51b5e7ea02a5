#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "campaigns/campaign.h"
#include "campaigns/rangetestcampaign.h"

namespace campag {

// All campaigns of the station, keyed by name. Decides which campaign is sent now, keeps the
// priority rules and stores the list as sections "campaign1", "campaign2", ... of the list file.
//
// The campaigns are kept in 17 hash buckets; every walk (the choice's tie-break, the section
// numbering of saveAll, the enumerations) goes bucket by bucket, each chain front to back, so
// the order is the same on every run for the same names.
//
// Only the user-interface thread changes the list, and only while the workers are paused; the
// workers only read it (chooseCampaign, hasSendableNow, getRangeTestCampaign).
class CCampaignMgr {
  public:
    static constexpr std::size_t bucketCount = 17;

    CCampaignMgr();
    virtual ~CCampaignMgr();
    CCampaignMgr(const CCampaignMgr&) = delete;
    CCampaignMgr& operator=(const CCampaignMgr&) = delete;

    // Replaces the campaigns by those of the list file, up to its first bad or missing section.
    void loadAll();
    // Rewrites the list file: removes the sections the last load or save left, then writes every
    // campaign in enumeration order as sections 1, 2, ... All in one replacement of the file, so
    // a crash leaves the old list or the new one. False (logged, the file unchanged) when the
    // file could not be written.
    bool saveAll();
    // Takes ownership of the campaign and returns true, unless a campaign of the same name exists:
    // then false, and the caller keeps it. Does not write the file.
    bool addCampaign(std::unique_ptr<CCampaign>&& campaign);
    // Erases the campaign's section, destroys it and saves the list. Null, or a campaign the
    // manager does not hold, is ignored.
    void removeCampaign(CCampaign* campaign);
    // Files a campaign the manager holds under its name after the operator changed it. False,
    // and it stays filed as before, when another campaign already has that name (or the
    // manager does not hold it). Does not write the file.
    bool rename(CCampaign* campaign);

    // The campaign to send now: the smallest priority among the active, sendable ones; the first
    // met wins a tie. Null when none. The manager keeps ownership.
    CCampaign* chooseCampaign() const;
    bool hasSendableNow() const;
    // The range test's campaign with a fresh random send name, or null when the test picture is
    // missing or damaged.
    CCampaign* getRangeTestCampaign();

    // The smallest of 1-999 no campaign has; 999 when all are taken.
    int lowestFreePrio() const;
    bool hasAlwaysCampaign() const;
    bool hasOtherAlwaysCampaign(const CCampaign* campaign) const;
    int getCount() const;

    // Enumeration in the manager's order (user-interface thread only).
    CCampaign* getFirst();
    CCampaign* getNext();
    // Like getFirst/getNext, but only campaigns whose schedule is active now.
    CCampaign* getFirstActive();
    CCampaign* getNextActive();

    // The bucket of a name: h = h * 33 + c over its UTF-16 code units, modulo 17.
    static std::size_t bucketOf(const std::string& name);

  private:
    struct Entry {
        std::string name;
        std::unique_ptr<CCampaign> campaign;
    };
    struct Position {
        std::size_t bucket = 0;
        std::size_t link = 0;
    };

    CCampaign* step(Position& position) const;
    CCampaign* stepActive(Position& position) const;
    Entry* findByName(const std::string& name);
    void insertLoaded(std::unique_ptr<CCampaign> campaign);
    void enforcePriorityRules(CCampaign& campaign);
    bool saveAll(CIniBatch& batch);
    void eraseStoredSection(CCampaign& scratch, int n, CIniBatch& batch) const;
    void clear();

    std::unique_ptr<CRTCampaign> rangeTest;
    int sectionCount = 0;
    std::array<std::vector<Entry>, bucketCount> campaignMap;
    Position cursor;
    Position activeCursor;
};

}  // namespace campag
