// A print queue's own operations: pausing and closing its printing thread, its job list and the
// removal rule, which job the printing thread takes, and what it makes of the outcomes of
// deliveries: retries with a growing pause, jobs given up, queues held, holds and jobs that outlive
// the queue object.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/engine/EngineTestSupport.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class PrintQueueTest : public ::testing::Test {
  protected:
    // Queue "lp" prints into printer directory "paper" once the test makes it (until then every
    // delivery fails and is tried again); "idle" is never activated.
    PrintQueueTest()
        : daemon_(TestConfig()
                      .AddQueue("lp", "paper,,,x")
                      .AddQueue("idle", "missing,,,y")
                      .Set("GENERAL CONFIGURE", "TestPrintManager", "N")
                      .Set("GENERAL CONFIGURE", "RetryDelayMs", "50")
                      .Set("GENERAL CONFIGURE", "RetryMaxSeconds", "1"),
                  /*activate=*/false) {
        lp_ = daemon_.Spooler().FindQueueIgnoringCase("lp");
        idle_ = daemon_.Spooler().FindQueueIgnoringCase("idle");
    }
    void MakePrinter() { ::mkdir(daemon_.PrinterPath("paper").c_str(), 0755); }
    // The documents printed so far, as "<sequence>-<first data file's name>".
    std::vector<std::string> Printed() { return Listing(daemon_.PrinterPath("paper")); }

    TestDaemon daemon_;
    std::shared_ptr<PrintQueue> lp_;
    std::shared_ptr<PrintQueue> idle_;
};

// Removed jobs take their files along; the others keep theirs.
TEST_F(PrintQueueTest, RemovalByNumberUserPointerAndAll) {
    std::vector<std::shared_ptr<JobEntry>> jobs;
    for (int n : {1, 2, 3, 4, 5}) {
        jobs.push_back(StoreJob(*idle_, n, n <= 2 ? "ann" : "bob"));
    }
    EXPECT_TRUE(idle_->RemoveJob(3, "ann", ""));  // not ann's: stays
    EXPECT_EQ(Numbers(*idle_), "1 2 3 4 5 ");
    EXPECT_TRUE(idle_->RemoveJob(3, "bob", "elsewhere"));  // bob's, but from another host
    EXPECT_EQ(Numbers(*idle_), "1 2 3 4 5 ");
    EXPECT_TRUE(idle_->RemoveJob(3, "bob", ""));
    EXPECT_EQ(Numbers(*idle_), "1 2 4 5 ");
    EXPECT_EQ(JobFileCount(*idle_, *jobs[2]), 0u);
    EXPECT_EQ(JobFileCount(*idle_, *jobs[3]), 3u);
    EXPECT_TRUE(idle_->RemoveJob(jobs[3].get()));
    EXPECT_FALSE(idle_->RemoveJob(jobs[3].get()));  // no longer in the list
    EXPECT_TRUE(idle_->RemoveJob());
    EXPECT_EQ(Numbers(*idle_), "");
    for (const auto& job : jobs) {
        EXPECT_EQ(JobFileCount(*idle_, *job), 0u) << job->jobNo;
    }
}

// The oldest printable job goes first; a job still arriving, a held one or one waiting for its
// next try holds up nobody. Delivered jobs leave the queue with their files.
TEST_F(PrintQueueTest, PrintingThreadTakesTheOldestPrintableJob) {
    MakePrinter();
    auto arriving = std::make_shared<JobEntry>();  // as a reception lists its job
    arriving->SetState(JobState::Spooling);
    lp_->AddJob(arriving);
    auto held = StoreJob(*lp_, 1, "ann");
    lp_->HoldJob(*held);
    auto later = StoreJob(*lp_, 3, "ann");
    auto older = StoreJob(*lp_, 2, "ann");
    // The list's order is not the arrival order: job 2 arrived before job 3.
    std::swap(later->record.sequence, older->record.sequence);
    lp_->Activate();
    ASSERT_TRUE(WaitUntil([&] { return lp_->JobCount() == 2; }, seconds(10)));
    EXPECT_EQ(Printed(), (std::vector<std::string>{"000001-dfA002pc1", "000002-dfA003pc1"}));
    EXPECT_TRUE(WaitUntil([&] { return JobFileCount(*lp_, *older) == 0; }));
    EXPECT_EQ(held->State(), JobState::Pause);
    EXPECT_EQ(arriving->State(), JobState::Spooling);
    EXPECT_TRUE(lp_->ReleaseJob(*held));
    EXPECT_TRUE(WaitUntil([&] { return lp_->JobCount() == 1; }));
}

// A failing delivery is tried again after 50 ms, 100 ms, 200 ms, 400 ms, ...
TEST_F(PrintQueueTest, FailedDeliveriesAreRetriedWithAGrowingPause) {
    auto job = StoreJob(*lp_, 1, "ann");
    lp_->Activate();
    std::vector<std::chrono::steady_clock::time_point> failures;
    while (failures.size() < 5 &&
           WaitUntil([&] { return job->Failures() > failures.size(); }, seconds(5))) {
        failures.push_back(std::chrono::steady_clock::now());
    }
    ASSERT_EQ(failures.size(), 5u);
    const int expected[] = {50, 100, 200, 400};
    for (size_t i = 0; i < 4; ++i) {
        const auto gap = failures[i + 1] - failures[i];
        EXPECT_GE(gap, milliseconds(expected[i] - 10)) << i;
    }
    EXPECT_EQ(lp_->State(), QueueState::Running);

    // The printer is back: Resume tries the waiting job at once, not after the next 800 ms.
    MakePrinter();
    EXPECT_TRUE(lp_->ReleaseJob(*job));
    EXPECT_TRUE(WaitUntil([&] { return lp_->JobCount() == 0; }, milliseconds(700)));
}

// Jobs the daemon cannot deliver and does not keep are told to the window's handler.
TEST_F(PrintQueueTest, GivenUpJobsAreToldToTheWindow) {
    std::vector<std::string> alerts;  // written by the printing thread, read once it is idle
    daemon_.Spooler().SetQueueAlertHandler([&](const std::string& queue, const std::string& why) {
        alerts.push_back(queue + ": " + why);
    });
    GeneralSettings settings = daemon_.Spooler().Settings();
    settings.jobMaxAgeHours = 2;
    daemon_.Spooler().SetSettings(settings);
    auto old = StoreJob(*lp_, 1, "ann", "pc1", {}, "", std::time(nullptr) - 7200);
    lp_->Activate();
    ASSERT_TRUE(WaitUntil([&] { return lp_->JobCount() == 0; }));
    EXPECT_TRUE(WaitUntil([&] { return JobFileCount(*lp_, *old) == 0; }));
    daemon_.Spooler().SetQueueAlertHandler(nullptr);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("lp: job (jobNo-1, userName-ann, hostName-pc1) given up", 0), 0u);
}

// Undelivered jobs outlive the queue object, in their order and with their holds, and a removal
// during delivery still takes the job's files along when the queue goes.
TEST_F(PrintQueueTest, JobsAndTheirHoldsOutliveTheQueue) {
    auto first = StoreJob(*idle_, 1, "ann");
    auto second = StoreJob(*idle_, 2, "bob");
    auto third = StoreJob(*idle_, 3, "carl");
    EXPECT_TRUE(idle_->HoldJob(*second));
    third->SetState(JobState::Stop);  // removed while it was being delivered
    idle_->Shutdown();
    EXPECT_EQ(idle_->JobCount(), 0u);
    EXPECT_EQ(JobFileCount(*idle_, *first), 3u);
    EXPECT_EQ(JobFileCount(*idle_, *third), 0u);

    PrintQueue again("idle");
    again.OpenStore(daemon_.SpoolDirectory("idle"), false);
    EXPECT_EQ(Numbers(again), "1 2 ");
    EXPECT_EQ(again.Jobs()[1]->State(), JobState::Pause);
    EXPECT_TRUE(again.ReleaseJob(*again.Jobs()[1]));
    PrintQueue thrice("idle");
    thrice.OpenStore(daemon_.SpoolDirectory("idle"), false);
    EXPECT_EQ(thrice.Jobs().at(1)->State(), JobState::Waiting);
}

// A paused queue takes no job until activated.
TEST_F(PrintQueueTest, PausedQueueTakesNoJobUntilActivated) {
    MakePrinter();
    lp_->Activate();
    lp_->Pause();
    StoreJob(*lp_, 1, "ann");
    EXPECT_FALSE(WaitUntil([&] { return lp_->JobCount() == 0; }, milliseconds(300)));
    lp_->Activate();
    EXPECT_TRUE(WaitUntil([&] { return lp_->JobCount() == 0; }));
    lp_->Shutdown();
    EXPECT_EQ(lp_->State(), QueueState::Close);
    EXPECT_FALSE(lp_->HasPrintingThread());
    EXPECT_FALSE(lp_->Activate());  // a closed queue stays closed
}

}  // namespace
}  // namespace pg::test
