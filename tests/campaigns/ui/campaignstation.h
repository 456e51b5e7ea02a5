#pragma once
// What the campaign and schedule dialog tests share: a station folder that is the current
// directory, the shipped operator texts, a campaign manager of its own, a clock the test sets,
// and the seam that answers message boxes and file choosers and records beeps.

#include <QAbstractButton>
#include <QString>
#include <QTest>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "campaigns/campaignmgr.h"
#include "platform/clock.h"
#include "support/texts.h"
#include "tests/common/dialogtest.h"
#include "tests/common/tempfolder.h"

namespace testing_campaigns {

// Seconds since 1970 of a local date and time.
inline std::int64_t localSeconds(int year, int month, int day, int hour, int minute) {
    platform::LocalTime local;
    local.year = year;
    local.month = month;
    local.day = day;
    local.hour = hour;
    local.minute = minute;
    return static_cast<std::int64_t>(platform::toTimeT(platform::fromLocal(local)));
}

// Clicks a button near its left end: a check box or radio button takes clicks only on its box
// and text, which need not reach the middle of a wide widget.
inline void clickButton(QAbstractButton* button) {
    QVERIFY(button != nullptr);
    const int middle = button->height() / 2;
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(middle, middle));
}

class CampaignStation {
  public:
    CampaignStation() {
        support::texts().load(std::string(NYVEX_SOURCE_DIR) + "/data/station/resource.xml");
        setToday(2024, 3, 15, 10, 30);
    }

    void setToday(int year, int month, int day, int hour, int minute) {
        clock.set(platform::fromTimeT(
            static_cast<std::time_t>(localSeconds(year, month, day, hour, minute))));
    }

    // A campaign of the manager named `name`, sending `name`.gif from the station folder, made
    // as the New button makes it (the first is the always campaign).
    campag::CCampaign& addCampaign(const std::string& name) {
        auto campaign = std::make_unique<campag::CCampaign>(&manager);
        campaign->setValue4Key("campaname", name);
        campaign->setValue4Key("sendfilename", name);
        campaign->setValue4Key("mediafile", mediaFile(name + ".gif"));
        campag::CCampaign& added = *campaign;
        manager.addCampaign(std::move(campaign));
        return added;
    }

    // Writes a picture named `name` into the station folder; its path.
    std::string mediaFile(const std::string& name) const {
        return folder.write(name, "GIF89a " + name);
    }

    std::string listFile() const { return folder.read("tolvik.ini"); }
    bool listFileHas(const std::string& name) const {
        return listFile().find("campaname=" + name + "\n") != std::string::npos;
    }

    static QString text(const std::string& key) {
        return QString::fromStdString(support::text(key));
    }

    testing_support::StationFolder folder;
    platform::ManualClock clock;
    platform::ScopedClock scopedClock{clock};
    testing_support::DialogSeam seam;
    campag::CCampaignMgr manager;
};

}  // namespace testing_campaigns
