#include "pushthread.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "campaigns/campaign.h"
#include "platform/text.h"
#include "sending/pushcomponent.h"
#include "support/logentry.h"

namespace btsend {

namespace {

// The name the phone announced, as UTF-8; empty for a job without a record.
std::string phoneName(const blto::CBtAdWCounter& device) {
    const NyvexSighting* record = device.record();
    if (record == nullptr) {
        return {};
    }
    const char16_t* name = record->device.name;
    const char16_t* end = std::find(name, name + std::size(record->device.name), u'\0');
    return platform::toUtf8(std::u16string_view(name, static_cast<std::size_t>(end - name)));
}

// The push's line among the pushes in flight, from its start to its end on every path, with the
// library's progress reports of this thread routed to it.
class CInFlightLine {
  public:
    CInFlightLine(COppComponent& component, std::string phone, std::string campaign)
        : component(component),
          pushes(component.pushesInFlight()),
          id(pushes.begin(std::move(phone), std::move(campaign))) {
        component.setPushProgress(&CInFlightLine::progress, this);
    }
    ~CInFlightLine() {
        component.setPushProgress(nullptr, nullptr);
        pushes.end(id);
    }
    CInFlightLine(const CInFlightLine&) = delete;
    CInFlightLine& operator=(const CInFlightLine&) = delete;

  private:
    // Runs inside the library: nothing may leave it.
    static void progress(void* context, std::uint64_t bytesAccepted,
                         std::uint64_t fileBytes) noexcept {
        auto* line = static_cast<CInFlightLine*>(context);
        try {
            line->pushes.progress(line->id, bytesAccepted, fileBytes);
        } catch (...) {
            return;  // the line keeps its last figures
        }
    }

    COppComponent& component;
    CPushesInFlight& pushes;
    std::uint64_t id;
};

}  // namespace

CBlueWinThread::CBlueWinThread(std::unique_ptr<CSendJob> job, COppComponent& component)
    : low(job->addressLow()), high(job->addressHigh()), job(std::move(job)), component(component) {}

CBlueWinThread::~CBlueWinThread() {
    if (thread.joinable()) {
        thread.join();
    }
}

void CBlueWinThread::start() {
    running = true;
    thread = std::thread([this] {
        push();
        running = false;
    });
}

// Every attempt ends in one outcome. A campaign that cannot be sent (it throws before the push)
// is counted as failed, leaves the device unserved and is recorded as an unusable file.
void CBlueWinThread::push() {
    PushOutcome outcome;
    outcome.started = platform::now();
    outcome.report.outcome = obexaFileUnusable;
    try {
        outcome.device = job->device();
        const campag::CCampaign& campaign = job->campaign();
        outcome.campaignName = campaign.getValue4Key("campaname");
        const std::string path = campaign.getMediaFilePath();
        outcome.sendName = campaign.getSendFileName();
        const std::string type = campaign.getMimeType();
        {
            const CInFlightLine line(component, phoneName(job->device()), outcome.campaignName);
            const bool accepted =
                component.getFileStatusM(low, high, type, outcome.sendName, path) == 1;
            outcome.report = component.getPushReport().value_or(reportFromResult(accepted));
            delivered = accepted;
        }
        // Served whatever the outcome: a phone that refused is left alone like one that took it.
        component.recordServed(job->device());
    } catch (...) {
        delivered = false;
        support::logError("snd1_elipsis", support::typeTag(this));
    }
    outcome.delivered = delivered;
    component.recordOutcome(outcome);
    job.reset();
}

}  // namespace btsend
