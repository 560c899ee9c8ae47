// A print queue's own operations: activation, pause and stop of its printing thread, its job
// list, the removal rule, and the printing thread's pass over the head of the list.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "engine/PrintQueue.h"
#include "tests/engine/EngineTestSupport.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class PrintQueueTest : public ::testing::Test {
  protected:
    // Queue "lp" prints to a printer that does not exist, so delivery of any job fails and
    // the job goes back to waiting; "idle" is never activated.
    PrintQueueTest()
        : daemon_(TestConfig()
                      .AddQueue("lp", "missing,,,x")
                      .AddQueue("idle", "missing,,,y")
                      .Set("GENERAL CONFIGURE", "TestPrintManager", "N"),
                  /*activate=*/false) {
        lp_ = daemon_.Spooler().FindQueueIgnoringCase("lp");
        idle_ = daemon_.Spooler().FindQueueIgnoringCase("idle");
    }
    TestDaemon daemon_;
    std::shared_ptr<PrintQueue> lp_;
    std::shared_ptr<PrintQueue> idle_;
};

TEST_F(PrintQueueTest, ActivatePauseStopFollowTheStateTable) {
    // Before activation: the status text from the configuration (none for a new queue).
    for (const auto& [queue, text] :
         {std::pair{idle_, "y"}, {std::make_shared<PrintQueue>("new"), ""}}) {
        std::string state = "?", got = "?";
        uint32_t count = 99;
        queue->GetStatus(state, count, got);
        EXPECT_EQ(state + " " + std::to_string(count) + " " + got,
                  std::string("Initial 0 ") + text);
        EXPECT_FALSE(queue->HasPrintingThread());
    }
    EXPECT_FALSE(FileExists(daemon_.SpoolDirectory("lp")));
    EXPECT_TRUE(lp_->Activate());
    EXPECT_TRUE(FileExists(daemon_.SpoolDirectory("lp")));  // made by the activation
    EXPECT_EQ(lp_->State(), QueueState::Running);
    EXPECT_EQ(lp_->StatusText(), "This print queue is ready");
    EXPECT_TRUE(lp_->HasPrintingThread());
    EXPECT_FALSE(lp_->Activate());  // already running: nothing changes

    EXPECT_TRUE(lp_->Pause());
    EXPECT_EQ(lp_->State(), QueueState::Pause);
    EXPECT_EQ(lp_->StatusText(), "This print queue is ready");  // Pause leaves the text
    EXPECT_TRUE(lp_->Activate());                               // resumes the same thread
    EXPECT_EQ(lp_->State(), QueueState::Running);

    EXPECT_TRUE(lp_->Stop());
    EXPECT_EQ(lp_->State(), QueueState::Stop);
    EXPECT_EQ(lp_->StatusText(), "This print queue is stopped");
    EXPECT_FALSE(lp_->HasPrintingThread());
    EXPECT_TRUE(lp_->Pause());  // not running: changes nothing
    EXPECT_EQ(lp_->State(), QueueState::Stop);
    EXPECT_TRUE(lp_->Activate());  // a new thread
    EXPECT_TRUE(lp_->HasPrintingThread());
    EXPECT_TRUE(daemon_.ScreenHas("Activate print queue lp"));
    EXPECT_TRUE(daemon_.ScreenHas("Stop print queue lp"));
    EXPECT_TRUE(daemon_.ScreenHas("Pause print queue lp"));
}

TEST_F(PrintQueueTest, FindJobMatchesNumberUserAndOptionalHost) {
    idle_->Activate();
    idle_->Stop();
    idle_->AddJob(MakeJob(*idle_, 7, "ann", "pc1"));
    idle_->AddJob(MakeJob(*idle_, 7, "ann", "pc2"));
    EXPECT_EQ(idle_->FindJob(7, "ann", "")->hostName, "pc1");
    EXPECT_EQ(idle_->FindJob(7, "ann", "pc2")->hostName, "pc2");
    EXPECT_EQ(idle_->FindJob(7, "Ann", ""), nullptr);  // user names are case-sensitive
    EXPECT_EQ(idle_->FindJob(8, "ann", ""), nullptr);
    EXPECT_TRUE(daemon_.ScreenHas("LPDPrinter::AddJob() - jobNo(7) user(ann) host(pc1)"));
}

// Removed jobs take their files along only when their control file has a U line.
TEST_F(PrintQueueTest, RemovalByNumberUserPointerAndAll) {
    idle_->Activate();
    idle_->Stop();
    for (int n : {1, 2, 3, 4, 5}) {
        idle_->AddJob(MakeJob(*idle_, n, n <= 2 ? "ann" : "bob", "pc1", JobState::Waiting,
                              "report.txt", /*unlink=*/n != 5));
    }
    EXPECT_TRUE(idle_->RemoveJob(3, "ann", ""));  // not ann's: stays
    EXPECT_EQ(Numbers(*idle_), "1 2 3 4 5 ");
    EXPECT_TRUE(idle_->RemoveJob(3, "root", "elsewhere"));  // root, but another host
    EXPECT_EQ(Numbers(*idle_), "1 2 3 4 5 ");
    EXPECT_TRUE(idle_->RemoveJob(3, "root", ""));
    EXPECT_EQ(Numbers(*idle_), "1 2 4 5 ");
    EXPECT_TRUE(idle_->RemoveJob("ann", ""));
    EXPECT_EQ(Numbers(*idle_), "4 5 ");
    auto four = idle_->Jobs().front();
    EXPECT_TRUE(idle_->RemoveJob(four.get()));
    EXPECT_FALSE(idle_->RemoveJob(four.get()));  // no longer in the list
    EXPECT_TRUE(idle_->RemoveJob());
    EXPECT_EQ(Numbers(*idle_), "");
    EXPECT_TRUE(daemon_.ScreenHas("LPDPrinter::RemoveJob() - remove all jobs on print queue idle"));
    const std::string dir = daemon_.SpoolDirectory("idle");
    for (const char* name : {"cfA002pc1", "dfA002pc1", "cfA003pc1", "dfA003pc1"}) {
        EXPECT_FALSE(FileExists(dir + "/" + name)) << name;
    }
    EXPECT_TRUE(FileExists(dir + "/cfA005pc1") && FileExists(dir + "/dfA005pc1"));
}

// The printing thread looks at the head only: a job still spooling holds up the queue, one
// marked Stop is removed, a waiting one is delivered and, failed, returns to waiting and holds
// the head.
TEST_F(PrintQueueTest, PrintingThreadPassesOverTheHeadOfTheList) {
    lp_->Activate();
    for (int n : {1, 2, 3}) {
        lp_->AddJob(
            MakeJob(*lp_, n, "ann", "pc1", n == 1 ? JobState::Spooling : JobState::Waiting));
    }
    auto head = lp_->Jobs().front();
    auto second = lp_->Jobs()[1];
    // A pass and a half: the waiting jobs behind the head are not touched.
    EXPECT_FALSE(WaitUntil([&] { return !second->StatusText().empty(); }, milliseconds(1500)));
    EXPECT_FALSE(daemon_.ScreenHas("Printing job (jobNo-2"));
    head->SetState(JobState::Stop);
    ASSERT_TRUE(WaitUntil(
        [&] { return second->StatusText() == "Error in printing the job.  Wait for next retry."; },
        seconds(10)));
    EXPECT_TRUE(daemon_.ScreenHas("RunLPDPrinting() : Removing job (jobNo-1, userName-ann"));
    EXPECT_TRUE(daemon_.ScreenHas("RunLPDPrinting() : Printing job (jobNo-2, userName-ann"));
    EXPECT_EQ(second->State(), JobState::Waiting);
    EXPECT_EQ(Numbers(*lp_), "2 3 ");
    EXPECT_EQ(lp_->Jobs().back()->State(), JobState::Waiting);  // never taken
}

// A paused queue takes no job until activated; destruction ends the thread and destroys the jobs.
TEST_F(PrintQueueTest, PausedQueueTakesNoJobUntilActivatedAndShutdownEndsAll) {
    lp_->Activate();
    lp_->Pause();
    lp_->AddJob(MakeJob(*lp_, 1, "ann"));
    EXPECT_FALSE(WaitUntil([&] { return lp_->Jobs().front()->State() != JobState::Waiting; },
                           milliseconds(1200)));
    lp_->Activate();
    EXPECT_TRUE(WaitUntil([&] { return daemon_.ScreenHas("Printing job (jobNo-1"); }, seconds(5)));
    lp_->Shutdown();
    EXPECT_EQ(lp_->State(), QueueState::Close);
    EXPECT_EQ(lp_->JobCount(), 0u);
    EXPECT_FALSE(lp_->HasPrintingThread());
    EXPECT_FALSE(FileExists(daemon_.SpoolDirectory("lp") + "/cfA001pc1"));
    EXPECT_TRUE(daemon_.ScreenHas("Deleting Print Queue Object: lp"));
    EXPECT_FALSE(lp_->Activate());  // a closed queue stays closed
}

}  // namespace
}  // namespace pg::test
