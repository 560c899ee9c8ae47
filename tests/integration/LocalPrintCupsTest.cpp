// Local queues printing through a real CUPS scheduler: a private cupsd whose raw queues write
// into device files, LPRng's lpr sending the jobs to the daemon. What comes out of the device
// file is what the text treatment makes of the job, byte for byte; a queue that rejects jobs
// and a printer CUPS does not know take the failure paths with CUPS's own status codes.

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/LPDPrinter.h"
#include "tests/engine/EngineTestJobs.h"
#include "tests/integration/ExternalProgram.h"
#include "tests/platform/PrivateCupsd.h"
#include "tests/support/Loopback.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {
namespace {

using std::chrono::seconds;

const std::string kLpr = "/usr/bin/lpr";

// IPP status codes as libcups reports them.
constexpr int kNotFound = 0x0406;
constexpr int kNotAcceptingJobs = 0x0506;

// Where two long byte strings part, for a failure message that fits on a screen.
std::string Difference(const std::string& got, const std::string& expected) {
    size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at]) {
        ++at;
    }
    return "got " + std::to_string(got.size()) + " bytes, expected " +
           std::to_string(expected.size()) + "; they differ from byte " + std::to_string(at) +
           ": got " + testing::PrintToString(got.substr(at, 40)) + ", expected " +
           testing::PrintToString(expected.substr(at, 40));
}

class LocalPrintCups : public ::testing::Test {
  protected:
    LocalPrintCups() : home_("pgcupslpr") {}

    void SetUp() override {
        if (!IsExecutable(kLpr)) {
            GTEST_SKIP() << kLpr << " is missing (package lprng)";
        }
        std::string error;
        // "raw" prints, "closed" rejects jobs; the scheduler knows no "nosuch".
        if (!cupsd_.Start(
                {{.name = "raw", .isDefault = true}, {.name = "closed", .accepting = false}},
                &error)) {
            if (::geteuid() != 0) {
                GTEST_SKIP() << error;
            }
            FAIL() << error;
        }
        // After Start(): the printing threads read CUPS_SERVER when they first use libcups.
        daemon_ = std::make_unique<TestDaemon>(
            TestConfig()
                .Set("GENERAL CONFIGURE", "PrintSystem", "cups")
                .AddQueue("lp", "raw,,,Print in local/LAN printer - raw", "yes")
                .AddQueue("rejecting", "closed,,,Print in local/LAN printer - closed", "yes")
                .AddQueue("gone", "nosuch,,,Print in local/LAN printer - nosuch", "yes"));
        WriteFile(home_ / ".printcap", "pgtest:lp=lp@127.0.0.1%" + std::to_string(daemon_->Port()) +
                                           ":force_localhost@:lpr_send_try=1:send_data_first\n"
                                           "pgreject:lp=rejecting@127.0.0.1%" +
                                           std::to_string(daemon_->Port()) +
                                           ":force_localhost@:lpr_send_try=1:send_data_first\n");
    }

    std::shared_ptr<LPDPrinter> Queue(const std::string& name) {
        return daemon_->Spooler().FindPrinter(name);
    }

    ProgramResult Lpr(const std::string& printer, std::vector<std::string> args) {
        args.insert(args.begin(), {kLpr, "-P", printer});
        return RunProgram(args, {"HOME=" + home_.Path(), "USER=root", "LOGNAME=root"}, seconds(30));
    }

    size_t ScreenCount(const std::string& text) const {
        const std::vector<std::string> lines = daemon_->ScreenLines();
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
            return l.find(text) != std::string::npos;
        }));
    }

    PrivateCupsd cupsd_;
    std::unique_ptr<TestDaemon> daemon_;  // after cupsd_: gone before the scheduler
    TempDir home_;
};

TEST_F(LocalPrintCups, LprJobComesOutOfTheDeviceFileAsTheTextTreatmentMakesIt) {
    std::string letter;
    for (int i = 0; i < 400; ++i) {
        letter += "line " + std::to_string(i) + " of the letter\n";  // LF only, several blocks
    }
    std::string image;
    for (int i = 0; i < 5000; ++i) {
        image += static_cast<char>(0x80 + i % 128);  // binary from its first byte
    }
    image += std::string("\n\f\0 end", 7);
    WriteFile(home_ / "letter.txt", letter);
    WriteFile(home_ / "image.bin", image);

    // -h: no banner page (lpr asks for one by default); -l: send the binary file as it is.
    const ProgramResult lpr =
        Lpr("pgtest", {"-h", "-l", home_ / "letter.txt", home_ / "image.bin"});
    ASSERT_EQ(lpr.exitCode, 0) << lpr.output;
    ASSERT_TRUE(WaitUntil([&] { return daemon_->ScreenHas("Removing job"); }, seconds(20)));
    ASSERT_TRUE(cupsd_.WaitUntilIdle()) << cupsd_.ErrorLog();

    std::string expected;
    for (char c : letter) {
        expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    expected += "\r\f" + image;  // the binary file: unchanged, no form feed
    const std::string printed = cupsd_.Output("raw");
    EXPECT_TRUE(printed == expected) << Difference(printed, expected);
    EXPECT_EQ(Queue("lp")->JobCount(), 0u);
    EXPECT_EQ(Queue("lp")->State(), QueueState::Running);
}

TEST_F(LocalPrintCups, RejectingQueuePausesTheQueueAndTheJobIsRetried) {
    WriteFile(home_ / "memo.txt", "memo\n");
    const ProgramResult lpr = Lpr("pgreject", {home_ / "memo.txt"});
    ASSERT_EQ(lpr.exitCode, 0) << lpr.output;  // CUPS knows the printer: the job is taken

    std::shared_ptr<LPDPrinter> queue = Queue("rejecting");
    const std::string failure =
        "Error - LPDPrinter::PrintFile() - printer(closed) fails in StartDocPrinter() for file dfA";
    ASSERT_TRUE(daemon_->WaitForScreenLine(failure));
    ASSERT_EQ(queue->JobCount(), 1u);
    std::shared_ptr<JobEntry> job = queue->Jobs().front();
    ASSERT_TRUE(WaitUntil(
        [&] { return job->StatusText() == "Error in printing the job.  Wait for next retry."; }));
    EXPECT_EQ(job->State(), JobState::Waiting);
    EXPECT_EQ(queue->State(), QueueState::Pause);
    EXPECT_EQ(queue->StatusText().rfind("Fail to print dfA", 0), 0u) << queue->StatusText();
    const std::string dataFile = queue->StatusText().substr(std::string("Fail to print ").size());
    EXPECT_TRUE(daemon_->ScreenHas(failure + dataFile.substr(3) + " - last error(" +
                                   std::to_string(kNotAcceptingJobs) + ")"));

    // Started again, the queue tries the job again (and CUPS still says no).
    EXPECT_TRUE(queue->Activate());
    EXPECT_TRUE(WaitUntil([&] { return ScreenCount(failure) == 2; }, seconds(15)));
    EXPECT_EQ(queue->JobCount(), 1u);
    EXPECT_TRUE(cupsd_.ActiveJobs().empty());
    EXPECT_EQ(cupsd_.Output("closed"), "");
}

TEST_F(LocalPrintCups, PrinterUnknownToCupsIsRefusedAtReceptionAndFailsDelivery) {
    // The destination test opens the printer before the job is taken: NACK.
    LoopbackClient client(daemon_->Port());
    client.Send("\002gone\n");
    EXPECT_EQ(client.Receive(1), std::string(1, '\1'));

    // A job that is in the queue all the same (received before CUPS lost the printer) fails
    // at the open and then at its first write.
    std::shared_ptr<LPDPrinter> queue = Queue("gone");
    queue->AddJob(MakeJob(*queue, 5, "ann"));
    ASSERT_TRUE(daemon_->WaitForScreenLine(
        "Error - LPDPrinter::PrinterInitialisation() - fail in OpenPrinter nosuch - last error(" +
        std::to_string(kNotFound) + ")"));
    ASSERT_TRUE(daemon_->WaitForScreenLine(
        "Error - LPDPrinter::PrintFile() - printer(nosuch) fails in WritePrinter() for file "
        "dfA005pc1"));
    EXPECT_TRUE(WaitUntil([&] { return queue->State() == QueueState::Error; }));
    EXPECT_EQ(queue->StatusText(), "Error in printing dfA005pc1");
    std::shared_ptr<JobEntry> job = queue->Jobs().at(0);
    EXPECT_TRUE(WaitUntil(
        [&] { return job->StatusText() == "Error in printing the job.  Wait for next retry."; }));
    EXPECT_EQ(queue->JobCount(), 1u);
}

}  // namespace
}  // namespace pg::test
