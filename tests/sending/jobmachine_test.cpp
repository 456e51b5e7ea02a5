// The job machine: it feeds the newest new device to the sender and rests after each answer the
// longer the fuller the job list is; a campaign error stops it after one log entry.

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <iterator>
#include <mutex>

#include "campaigns/campaignexception.h"
#include "platform/text.h"
#include "sending/jobmachine.h"
#include "sending/sender.h"
#include "sendingfixture.h"
#include "worker/workerbase.h"

using btsend::CJobMachine;
using namespace sendingtest;
using namespace std::chrono_literals;

namespace {

constexpr double timeScale = 0.05;

// A sender that answers from a script and notes when and with which device it was called.
class ScriptedSender : public btsend::CBtSender {
  public:
    ScriptedSender(platform::TimedMutex& radio, CArrSyncMgr& devices, std::deque<int> answers)
        : CBtSender(radio, devices, nullptr, "libNoSuchObexa.so"), answers(std::move(answers)) {}

    std::int32_t queueSighting(std::unique_ptr<blto::CBtAdWCounter> device) override {
        std::lock_guard guard(lock);
        calls.push_back({device->record()->device.address, std::chrono::steady_clock::now()});
        if (answers.empty()) {
            return 0;
        }
        const int answer = answers.front();
        answers.pop_front();
        if (answer == throwCampaignError) {
            throw campag::CCampaignException("no campaign");
        }
        return answer;
    }

    struct Call {
        std::uint64_t address;
        std::chrono::steady_clock::time_point at;
    };
    std::vector<Call> callsSoFar() {
        std::lock_guard guard(lock);
        return calls;
    }

    static constexpr int throwCampaignError = 99;

  private:
    std::mutex lock;
    std::deque<int> answers;
    std::vector<Call> calls;
};

class JobMachineTest : public SendingStation {
  protected:
    void SetUp() override {
        SendingStation::SetUp();
        blto::CBlueSync::setTimeScale(timeScale);
    }
    void TearDown() override {
        blto::CBlueSync::setTimeScale(1.0);
        SendingStation::TearDown();
    }

    platform::TimedMutex radioLock;
    CArrSyncMgr newDevices;
};

TEST(JobMachinePacing, RestsLongerTheMoreJobsWait) {
    const std::pair<int, std::chrono::milliseconds> cases[] = {
        {-1, 0ms}, {0, 400ms}, {1, 800ms}, {3, 1600ms}, {5, 2400ms}};
    for (const auto& [queued, pause] : cases) {
        EXPECT_EQ(CJobMachine::pauseAfter(queued), pause) << queued << " jobs";
    }
}

TEST_F(JobMachineTest, FeedsTheNewestDeviceFirstAndRestsAfterEachAnswer) {
    for (std::uint64_t address : {0x11, 0x12, 0x13}) {
        ASSERT_TRUE(newDevices.addUnique(makeSighting(address)));
    }
    ScriptedSender sender(radioLock, newDevices, {5, -1, 0});
    {
        CJobMachine machine(newDevices, sender);
        machine.start();
        ASSERT_TRUE(waitUntil([&] { return sender.callsSoFar().size() == 3; }));
        machine.stop();
    }
    const auto calls = sender.callsSoFar();
    EXPECT_EQ(calls[0].address, 0x13u);
    EXPECT_EQ(calls[1].address, 0x12u);
    EXPECT_EQ(calls[2].address, 0x11u);
    EXPECT_GE(calls[1].at - calls[0].at, CJobMachine::pauseAfter(5) * timeScale)
        << "five jobs waiting: the longest rest";
    EXPECT_EQ(newDevices.count(), 0) << "every device was consumed, a duplicate too";
}

TEST_F(JobMachineTest, ACampaignErrorStopsTheMachineAfterOneLogEntry) {
    ASSERT_TRUE(newDevices.addUnique(makeSighting(0x21)));
    ASSERT_TRUE(newDevices.addUnique(makeSighting(0x22)));
    ScriptedSender sender(radioLock, newDevices, {ScriptedSender::throwCampaignError});
    CJobMachine machine(newDevices, sender);
    machine.start();
    ASSERT_TRUE(waitUntil([&] { return !machine.isRunning(); }));
    machine.join();
    EXPECT_EQ(sender.callsSoFar().size(), 1u);
    EXPECT_EQ(newDevices.count(), 1) << "the machine stopped with a device still queued";

    std::ifstream in(station.file("sending_jobmachine_test_err.txt"), std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    const std::string entry = platform::toUtf16leBytes("job mach campaign");
    EXPECT_NE(bytes.find(entry), std::string::npos);

    machine.start();
    EXPECT_TRUE(waitUntil([&] { return sender.callsSoFar().size() == 2; }))
        << "started again, it goes on";
}

}  // namespace
