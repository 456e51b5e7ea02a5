#pragma once
// A long-lived part handed to the application object for as long as the helper lives, as
// start-up hands in its parts. The application owns it; the helper takes it out again (deleting
// it) on every path, so a failing assertion never leaves the next test a part of a finished one.

#include <memory>
#include <type_traits>
#include <utility>

#include "app/station/journalfeed.h"
#include "app/station/nyvexapp.h"
#include "app/station/threadcenter.h"
#include "backoffice/backoffice.h"
#include "campaigns/campaignmgr.h"
#include "memory/manufacturer.h"

namespace testing_support {

template <typename Part>
class RegisteredPart {
  public:
    template <typename... Arguments>
    explicit RegisteredPart(Arguments&&... arguments) {
        auto owned = std::make_unique<Part>(std::forward<Arguments>(arguments)...);
        part = owned.get();
        handOver(std::move(owned));
    }
    ~RegisteredPart() { handOver(nullptr); }
    RegisteredPart(const RegisteredPart&) = delete;
    RegisteredPart& operator=(const RegisteredPart&) = delete;

    Part& operator*() const { return *part; }
    Part* operator->() const { return part; }
    Part* get() const { return part; }

  private:
    static void handOver(std::unique_ptr<Part> owned) {
        CNyvexApp& app = theApp();
        if constexpr (std::is_same_v<Part, campag::CCampaignMgr>) {
            app.setCampaigns(std::move(owned));
        } else if constexpr (std::is_same_v<Part, backo::CBackOffice>) {
            app.setBackOffice(std::move(owned));
        } else if constexpr (std::is_same_v<Part, CManufacturer>) {
            app.setManufacturers(std::move(owned));
        } else if constexpr (std::is_same_v<Part, CJournalFeed>) {
            app.setJournal(std::move(owned));
        } else {
            static_assert(std::is_same_v<Part, CThreadCenter>, "not a part of the application");
            app.setThreadCenter(std::move(owned));
        }
    }

    Part* part = nullptr;
};

}  // namespace testing_support
