// Receiving a print job into the queue's job store: the receive-job subcommands over real
// loopback connections to an in-process daemon, exact bytes in, exact replies, store files and
// job entries out. The queue "held" prints to a printer that does not exist and tries again only
// after ten minutes, so a received job stays in the store as the reception left it.

#include <sys/mount.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/SubcommandReader.h"
#include "tests/engine/EngineTestSupport.h"

namespace pg::test {
namespace {

using std::chrono::seconds;

// Queue "held": its jobs stay in the store as the reception left them.
TestConfig HeldQueue() {
    return TestConfig()
        .AddQueue("held", "nowhere,,,never prints")
        .Set("GENERAL CONFIGURE", "TestPrintManager", "N")
        .Set("GENERAL CONFIGURE", "RetryDelayMs", "600000");
}

class ReceiveJob : public ::testing::Test {
  protected:
    ReceiveJob() : daemon_(HeldQueue().Set("held", "MaxJobMB", "1")) {}

    std::shared_ptr<PrintQueue> Queue() { return daemon_.Spooler().FindQueue("held"); }
    std::string Spool() const { return daemon_.SpoolDirectory("held"); }

    std::unique_ptr<LoopbackClient> Connect() {
        return ReceiveJobConnection(daemon_.Port(), "held");
    }
    // The queue's only job once it is in state.
    std::shared_ptr<JobEntry> WaitForJob(JobState state) {
        std::shared_ptr<JobEntry> job;
        WaitUntil([&] {
            auto jobs = Queue()->Jobs();
            job = jobs.size() == 1 && jobs[0]->State() == state ? jobs[0] : nullptr;
            return job != nullptr;
        });
        return job;
    }
    // The reception has ended: nothing is listed and the store is empty.
    bool Gone() {
        return WaitUntil([&] { return Queue()->JobCount() == 0 && Listing(Spool()).empty(); });
    }

    TestDaemon daemon_;
};

// Control file first, two data files in the other order and one the control file does not name:
// the store holds the job under its own names, the client's names are data, and the files are
// the job's in the order the control file names them. The job is listed while it arrives and
// waits for delivery only once the client has closed. Files are made with O_EXCL and never
// truncated: a file in the way of the next id makes the job take another id.
TEST_F(ReceiveJob, JobIsStoredUnderTheStoresNamesAndWaitsOnceTheClientCloses) {
    const std::string control = "Hhost\nPann\nJreport.txt\nLann\nldfA123host\nfdfB123host\n";
    const std::string first = Bytes(100000, 1), second = Bytes(3000, 2);
    const std::string inTheWay =
        Spool() + "/" + std::to_string(Queue()->Store()->NewId() + 1) + ".cf";
    WriteFile(inTheWay, "not the daemon's");
    auto client = Connect();
    SendFile(*client, '\2', "cfA123host", control);
    ASSERT_TRUE(WaitForJob(JobState::Spooling));
    SendFile(*client, '\3', "dfB123host", second);
    SendFile(*client, '\3', "dfZ123host", "not named");
    SendFile(*client, '\3', "dfA123host", first);
    EXPECT_EQ(Queue()->Jobs().at(0)->State(), JobState::Spooling);  // until the client closes

    client->ShutdownWrite();
    std::shared_ptr<JobEntry> job = WaitForJob(JobState::Waiting);
    ASSERT_TRUE(job);
    EXPECT_EQ(ReadFile(inTheWay), "not the daemon's");
    ::unlink(inTheWay.c_str());
    const JobRecord& record = job->record;
    const std::string id = std::to_string(record.id);
    // The unnamed file is gone; nothing in the store carries a client's name.
    EXPECT_EQ(Listing(Spool()),
              (std::vector<std::string>{id + ".cf", id + ".d1", id + ".d3", id + ".job"}));
    EXPECT_EQ(ReadFile(Spool() + "/" + record.control.storeName), control);
    ASSERT_EQ(record.data.size(), 2u);
    EXPECT_EQ(record.data[0].clientName + " " + record.data[1].clientName, "dfA123host dfB123host");
    EXPECT_EQ(ReadFile(Spool() + "/" + record.data[0].storeName), first);
    EXPECT_EQ(ReadFile(Spool() + "/" + record.data[1].storeName), second);
}

// Any byte but a zero after a file's contents is refused.
TEST_F(ReceiveJob, AFileEndsWithAZeroByte) {
    auto client = Connect();
    Step(*client, Subcommand('\3', 3, "dfA002host"), kAck);
    Step(*client, "abc\n", kNack);
    EXPECT_TRUE(client->WaitForClose(seconds(5)));
    EXPECT_TRUE(Gone());
}

// Every other end of a job but the client's close after its last file removes what the job
// left, with a line saying why. A refused file gets NACK and ends the connection; so does a job
// past the queue's MaxJobMB (1), counted with its control file.
TEST_F(ReceiveJob, AbortsAndRefusalsRemoveTheJobAndSayWhy) {
    const std::string control = "Hhost\nPann\nJj\033b\nldfA404host\n";  // shown escaped
    const struct {
        std::string after;  // sent after the control file
        std::string reply;
        std::string logged;  // in the line that says why
    } rows[] = {
        {"\001\n", kAck,
         "Remove failed job (j\\x1Bb) filename(cfA404host).  aborted by the client"},
        {Subcommand('\3', "-5", "dfA404host"), kNack, "no room for data file dfA404host"},
        {Subcommand('\3', (1 << 20) - control.size() + 1, "dfA404host"), kNack,
         "would make the job larger than 1 MB (MaxJobMB)"},
        {Subcommand('\3', "999999999999", "dfA404host") + Bytes(1100000), kAck + kNack,
         "data file dfA404host grew past 1 MB (MaxJobMB)"},
        // The second control file ends the first job, then is refused itself.
        {Subcommand('\2', 2000000, "cfA405host"), kNack,
         "control file cfA405host of 2000000 bytes refused"},
        // A control file naming a file that never came, then the close.
        {"", "", "the client closed the connection before data file dfA404host came"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.logged);
        auto client = Connect();
        SendFile(*client, '\2', "cfA404host", control);
        ASSERT_TRUE(WaitForJob(JobState::Spooling));
        if (row.after.empty()) {
            client->ShutdownWrite();
        } else {
            Step(*client, row.after, row.reply);
        }
        EXPECT_TRUE(client->WaitForClose(seconds(5)));
        EXPECT_TRUE(daemon_.WaitForScreenLine(row.logged));
        EXPECT_TRUE(Gone());
    }
}

// Other codes and 02 without count or name get no reply and no log; 03 without them is logged
// with a blank for the job name while there is no job. The loop goes on after each, and after a
// line cut for its length without a line feed.
TEST_F(ReceiveJob, IgnoredSubcommandsLeaveTheLoopGoing) {
    auto client = Connect();
    const std::string control = "Hhost\nPann\nldfA500host\n";
    Step(*client,
         std::string("\000zero\n", 6) + "\004four\n\377\n\002 cfA500host\n" +
             "\00212  cfA500host\n\003\n\00312\n\004" +
             std::string(SubcommandReader::kMaxLine - 1, 'x') +
             Subcommand('\2', control.size(), "cfA500host"),
         kAck);
    Step(*client, control + kZero, kAck);
    SendFile(*client, '\3', "dfA500host", "abc");
    client->ShutdownWrite();
    EXPECT_TRUE(WaitForJob(JobState::Waiting));
}

// MinFreeMB on a spool volume of its own (8 MB, 4 kept free): a file that would leave less free
// is refused when announced, one that takes the room while it arrives is cut off, and no file
// is taken while the volume is below it; nothing of a refused job stays, and the next job is
// taken once the room is back.
TEST(SpoolRoom, FilesThatWouldLeaveLessThanMinFreeAreRefusedAndLeaveNothing) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting a small tmpfs for the spool needs root";
    }
    TempDir volume("pgspool");
    ASSERT_EQ(::mount("tmpfs", volume.Path().c_str(), "tmpfs", 0, "size=8m,mode=0755"), 0)
        << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{volume.Path()};
    TestDaemon daemon(HeldQueue()
                          .Set("GENERAL CONFIGURE", "SpoolBaseDirectory", volume.Path())
                          .Set("GENERAL CONFIGURE", "MinFreeMB", "4")
                          .Set("GENERAL CONFIGURE", "CloseDelayMs", "10000"));
    auto queue = daemon.Spooler().FindQueue("held");
    const std::string spool = volume / "held";
    const std::string control = "Hhost\nPann\nJjob\nldfA404host\n";
    const std::string controlLine = Subcommand('\2', control.size(), "cfA404host");
    const struct {
        size_t filler;        // bytes taken beside the spool first
        std::string request;  // after the receive-job command
        std::string reply;
        std::string logged;  // after "filename(cfA404host).  "
    } rows[] = {
        {0, controlLine + control + kZero + Subcommand('\3', 5 << 20, "dfA404host"),
         kAck + kAck + kNack, "no room for data file dfA404host"},
        {0,
         controlLine + control + kZero + Subcommand('\3', "999999999999", "dfA404host") +
             Bytes(6 << 20),
         kAck + kAck + kAck + kNack,
         "the spool volume fell below 4 MB free (MinFreeMB) during file dfA404host"},
        {5 << 20, controlLine, kNack, "no room for control file cfA404host"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.logged);
        WriteFile(volume / "filler", std::string(row.filler, 'f'));
        LoopbackClient client(daemon.Port());
        client.Send("\002held\n" + row.request);
        EXPECT_EQ(client.ReceiveExactly(1 + row.reply.size()), kAck + row.reply);
        client.ShutdownWrite();
        EXPECT_TRUE(client.WaitForClose(seconds(10)));
        EXPECT_TRUE(daemon.WaitForScreenLine("filename(cfA404host).  " + row.logged));
        EXPECT_TRUE(WaitUntil([&] { return queue->JobCount() == 0 && Listing(spool).empty(); }));
    }
    ::unlink((volume / "filler").c_str());
    LoopbackClient client(daemon.Port());
    client.Send("\002held\n" + controlLine + control + kZero +
                Subcommand('\3', 1 << 20, "dfA404host") + Bytes(1 << 20) + kZero);
    EXPECT_EQ(client.ReceiveExactly(5), std::string(5, '\0'));
    client.ShutdownWrite();
    EXPECT_TRUE(WaitUntil([&] {
        auto jobs = queue->Jobs();
        return jobs.size() == 1 && jobs[0]->State() == JobState::Waiting;
    }));
}

}  // namespace
}  // namespace pg::test
