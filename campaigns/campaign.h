#pragma once

#include <memory>
#include <string>

#include "campaigns/campaignexception.h"
#include "campaigns/schedule.h"
#include "config/iniserializer.h"

namespace campag {

class CCampaignMgr;

// The priority of the one campaign that is always on air; it loses against every scheduled
// campaign (1-999) that is active at the same moment.
constexpr int ALWAYS_PRIO = 1000;

// What the station pushes: a media file, the name the phone receives it under, a priority and
// a broadcast schedule. Stored in section "campaign<n>" of the list file, schedule included.
class CCampaign : public CList2IniSerializer {
  public:
    // `manager` is the manager the campaign belongs to or is made for (null: none). A new
    // campaign is the always campaign if that manager has none yet, else a weekday campaign with
    // the lowest free priority; the manager also keeps the always campaign unique.
    explicit CCampaign(const CCampaignMgr* manager);
    ~CCampaign() override;
    CCampaign(const CCampaign&) = delete;
    CCampaign& operator=(const CCampaign&) = delete;

    schedule::CSchedule* getSchedule() const { return campaignSchedule.get(); }
    int getIndex() const { return index; }

    int getPrio() const;
    // Throws CCampaignException when `prio` breaks the ALWAYS_PRIO rules of the current type.
    void setPrio(int prio);
    // Changes the type, adjusts the priority and drops the periods. Throws CCampaignException
    // (nothing changed) when another campaign already is the always campaign.
    void setScheduleType(int type);

    // The media file as a path: the value itself when such a file or folder exists, else joined
    // to the data folder when relative; "" for a value of fewer than 3 characters.
    std::string getMediaFilePath() const;
    // The media path's extension, dot included and trimmed. Throws CCampaignException when fewer
    // than 2 characters remain.
    std::string getExtension() const;
    // The send name followed by the extension. Throws like getExtension().
    std::string getSendFileName() const;
    // The content type announced for the file; "application/octet-stream" when not known.
    std::string getMimeType() const;

    bool mediaFileExists() const;
    bool hasMimeType() const;
    bool isNameValid() const;
    bool isSendFileNameValid() const;
    virtual bool isSendable() const;

    // Section number n (0: the number last used). The forms with a batch only add their
    // changes to it.
    void save(int n);
    void save(int n, CIniBatch& batch);
    // False when a campaign or schedule key of the section is missing.
    bool load(int n);
    // Deletes the campaign's and its schedule's keys; the section header stays.
    void erase(int n);
    void erase(int n, CIniBatch& batch);

    // A copy of what a push reads from the campaign (its name, send name, media file, priority
    // and schedule type, without periods), belonging to no manager: a send job keeps it, so
    // that a push never reads a campaign the operator changes or deletes meanwhile.
    virtual std::unique_ptr<CCampaign> copyForSending() const;

  protected:
    void copyRecordInto(CCampaign& copy) const;

  private:
    int lowestFreePrio() const;
    std::string dataFolder() const;

    const CCampaignMgr* manager;
    std::unique_ptr<schedule::CSchedule> campaignSchedule;
    int index = 0;
};

}  // namespace campag
