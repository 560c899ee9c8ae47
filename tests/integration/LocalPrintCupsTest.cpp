// Local queues printing through a real CUPS scheduler: a private cupsd whose raw queues write
// into device files, LPRng's lpr sending the jobs to the daemon. What comes out of the device
// file is what the text treatment makes of the job, byte for byte; a queue that rejects jobs
// and a printer CUPS does not know take the failure paths with CUPS's own status codes.

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/PrintQueue.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/platform/PrivateCupsd.h"
#include "tests/support/Process.h"

namespace pg::test {
namespace {

using std::chrono::seconds;

class LocalPrintCups : public ::testing::Test {
  protected:
    LocalPrintCups() : home_("pgcupslpr") {}

    void SetUp() override {
        if (::access("/usr/bin/lpr", X_OK) != 0) {
            GTEST_SKIP() << "/usr/bin/lpr is missing (package lprng)";
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
                .Set("GENERAL CONFIGURE", "RetryDelayMs", "300")
                .AddQueue("lp", "raw,,,Print in local/LAN printer - raw", "yes")
                .AddQueue("rejecting", "closed,,,Print in local/LAN printer - closed", "yes")
                .AddQueue("gone", "nosuch,,,Print in local/LAN printer - nosuch", "yes"));
        const std::string at = "@127.0.0.1%" + std::to_string(daemon_->Port()) +
                               ":force_localhost@:lpr_send_try=1:send_data_first\n";
        WriteFile(home_ / ".printcap", "pgtest:lp=lp" + at + "pgreject:lp=rejecting" + at);
    }

    std::shared_ptr<PrintQueue> Queue(const std::string& name) {
        return daemon_->Spooler().FindQueue(name);
    }

    // LPRng's lpr to one of the private printcap's printers; expects it to succeed.
    void Lpr(const std::string& printer, std::vector<std::string> args) {
        Process::Options options;
        options.argv = {"/usr/bin/lpr", "-P", printer};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.env = {"HOME=" + home_.Path(), "USER=root", "LOGNAME=root"};
        options.unsetEnv = {"PRINTER", "LPDEST"};
        std::string out, err;
        ASSERT_EQ(RunCommand(options, seconds(30), &out, &err), 0) << out << err;
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
    Lpr("pgtest", {"-h", "-l", "-J", "Budget 2027", "-U", "alice", home_ / "letter.txt",
                   home_ / "image.bin"});
    ASSERT_TRUE(WaitUntil([&] { return daemon_->ScreenHas("Removing job"); }, seconds(20)));
    ASSERT_TRUE(cupsd_.WaitUntilIdle()) << cupsd_.ErrorLog();

    std::string expected;
    for (char c : letter) {
        expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    expected += "\r\f" + image;  // the binary file: unchanged, no form feed
    const std::string printed = cupsd_.Output("raw");
    EXPECT_TRUE(printed == expected) << "printed " << printed.size() << " bytes, expected "
                                     << expected.size() << "; " << cupsd_.ErrorLog();
    EXPECT_EQ(Queue("lp")->JobCount(), 0u);
    EXPECT_EQ(Queue("lp")->State(), QueueState::Running);
    // CUPS names the job after the whole J line and its owner after P, not this process.
    EXPECT_EQ(cupsd_.Jobs("raw", false), std::vector<std::string>{"Budget 2027 by alice"});
}

TEST_F(LocalPrintCups, RejectingQueueFailsTheJobWhichIsTriedAgain) {
    WriteFile(home_ / "memo.txt", "memo\n");
    Lpr("pgreject", {home_ / "memo.txt"});  // CUPS knows the printer: the job is taken

    std::shared_ptr<PrintQueue> queue = Queue("rejecting");
    const std::string failure =
        "Error - LPDPrinter::PrintFile() - printer(closed) fails in cupsCreateJob() for file dfA";
    ASSERT_TRUE(daemon_->WaitForScreenLine(failure));
    ASSERT_EQ(queue->JobCount(), 1u);
    ASSERT_TRUE(WaitUntil([&] { return queue->StatusText().rfind("Fail to print dfA", 0) == 0; }));
    // CUPS's code for a queue that does not accept jobs, with its name.
    EXPECT_TRUE(daemon_->ScreenHas(failure + queue->StatusText().substr(17) +
                                   " - last error(0x0506: server-error-not-accepting-jobs)"));
    // The queue goes on; the job is tried again (and CUPS still says no).
    EXPECT_EQ(queue->State(), QueueState::Running);
    EXPECT_TRUE(WaitUntil([&] { return CountScreenLines(*daemon_, failure) >= 2; }, seconds(15)));
    EXPECT_EQ(queue->JobCount(), 1u);
    EXPECT_TRUE(cupsd_.Jobs("", true).empty());
    EXPECT_EQ(cupsd_.Output("closed"), "");
}

TEST_F(LocalPrintCups, PrinterUnknownToCupsIsRefusedAtReceptionAndFailsDelivery) {
    // The destination test opens the printer before the job is taken: NACK.
    LoopbackClient client(daemon_->Port());
    client.Send("\002gone\n");
    EXPECT_EQ(client.Receive(1), std::string(1, '\1'));

    // A job that is in the queue all the same (received before CUPS lost the printer) fails
    // at the open, with CUPS's code for an unknown printer, and waits for its next try.
    std::shared_ptr<PrintQueue> queue = Queue("gone");
    auto job = StoreJob(*queue, 5, "ann");
    ASSERT_TRUE(daemon_->WaitForScreenLine(
        "Error - LPDPrinter::PrinterInitialisation() - fail in cupsGetNamedDest() for printer "
        "nosuch - last error(0x0406: client-error-not-found)"));
    EXPECT_TRUE(WaitUntil([&] { return job->Failures() >= 1; }));
    EXPECT_EQ(queue->StatusText(), "Failed to open printernosuch");
    EXPECT_EQ(queue->JobCount(), 1u);
}

}  // namespace
}  // namespace pg::test
