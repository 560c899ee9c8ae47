// The spooler as the window drives it: start-up from the configuration file, the spool area
// clearing, and the queue administration with its operator messages and configuration writes.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "config/ProfileFile.h"
#include "engine/JobListReport.h"
#include "tests/engine/EngineTestSupport.h"

namespace pg::test {
namespace {

// A queue to add, printing on "paper", of host when given.
std::shared_ptr<PrintQueue> NewQueue(const std::string& name, const std::string& host = "") {
    auto queue = std::make_shared<PrintQueue>(name);
    QueueTarget target;
    target.destination = "paper";
    target.remoteHost = host;
    target.remotePort = 515;
    target.isRemote = !host.empty();
    queue->SetTarget(target);
    queue->SetStatusText("about " + name);
    return queue;
}

// "yes" in any case clears, and so does a value that is neither yes nor no (the default
// applies); then the files directly in queue directories go.
TEST(SpoolerStartup, ClearingTheSpoolAreaEmptiesQueueDirectoriesOnly) {
    for (const std::string value : {"yEs", "n", "true"}) {
        SCOPED_TRACE(value);
        const bool cleared = value != "n";
        TempDir dir;
        for (const char* sub : {"spool", "spool/lp", "spool/lp/deeper", "spool/other"}) {
            ::mkdir((dir / sub).c_str(), 0755);
        }
        WriteFile(dir / "spool/loose-file", "stays");
        WriteFile(dir / "spool/lp/cfA001pc1", "goes");
        WriteFile(dir / "spool/lp/deeper/kept", "stays");
        WriteFile(dir / "spool/other/dfA002pc1", "goes");
        TestDaemon daemon(TestConfig()
                              .Set("GENERAL CONFIGURE", "SpoolBaseDirectory", dir / "spool")
                              .Set("GENERAL CONFIGURE", "ClearSpoolDirectory", value));
        EXPECT_EQ(daemon.ScreenHas("Clearing Spool Directory"), cleared);
        EXPECT_TRUE(FileExists(dir / "spool/loose-file"));
        EXPECT_EQ(FileExists(dir / "spool/lp/cfA001pc1"), !cleared);
        EXPECT_TRUE(FileExists(dir / "spool/lp/deeper/kept"));  // so lp itself stays too
        EXPECT_EQ(FileExists(dir / "spool/other"), !cleared);
    }
}

class Administration : public ::testing::Test {
  protected:
    Administration() : daemon_(TestConfig().AddLocalQueue("lp")) {}
    ProfileFile Profile() { return ProfileFile(daemon_.IniPath()); }
    MessageCapture messages_;
    TestDaemon daemon_;
};

// Added queues are written without a form-feed entry; duplicate, reserved and unsafe names are
// refused, another case of a name is not.
TEST_F(Administration, AddPrinterRefusesDuplicateAndUnsafeNamesAndWritesTheEntry) {
    for (const char* name : {"lp", "Logging", "print queues", "a/b", "..", ""}) {
        EXPECT_FALSE(daemon_.Spooler().AddPrinter(NewQueue(name))) << name;
    }
    EXPECT_EQ(messages_.Take(), 6u);
    EXPECT_TRUE(daemon_.Spooler().AddPrinter(NewQueue("LP")));
    ASSERT_TRUE(daemon_.Spooler().AddPrinter(NewQueue("local")));
    ASSERT_TRUE(daemon_.Spooler().AddPrinter(NewQueue("remote", "10.0.0.7")));
    EXPECT_EQ(messages_.Take(), 0u);
    EXPECT_EQ(daemon_.Spooler().Printers().size(), 4u);
    // The network reaches the first of the two in list order, in any case.
    EXPECT_EQ(daemon_.Spooler().FindQueueIgnoringCase("Lp"),
              daemon_.Spooler().FindQueue(std::string("lp")));
    EXPECT_EQ(Profile().GetString("Print Queues", "local", ""), "paper,,,about local");
    EXPECT_EQ(Profile().GetString("Print Queues", "remote", ""), "paper,10.0.0.7,515,about remote");
    EXPECT_EQ(Profile().GetString("local", "FormFeedAtEndOfJob", "absent"), "absent");
}

TEST_F(Administration, RunningQueuesCannotBeRemovedPausedOnesCan) {
    EXPECT_FALSE(daemon_.Spooler().RemovePrinter("nosuch"));
    EXPECT_FALSE(daemon_.Spooler().RemovePrinter("lp"));
    EXPECT_EQ(messages_.Take(), 2u);
    ASSERT_TRUE(daemon_.Spooler().PausePrinter("lp"));
    EXPECT_TRUE(daemon_.Spooler().RemovePrinter("lp"));
    EXPECT_EQ(daemon_.Spooler().FindQueueIgnoringCase("lp"), nullptr);
    EXPECT_EQ(Profile().GetString("Print Queues", "lp", "gone"), "gone");
    EXPECT_EQ(Profile().GetString("lp", "FormFeedAtEndOfJob", "gone"), "gone");
    EXPECT_TRUE(FileExists(daemon_.SpoolDirectory("lp")));  // the directory stays
    // The network no longer finds it.
    EXPECT_EQ(Exchange(daemon_.Port(), "\003lp\n"), JobListReport::UnknownQueue("lp"));
}

// The settings dialog's settings are in force at once: the listener moves to the new port,
// serving the connection that came before the move too; SaveSettings writes them.
TEST_F(Administration, SettingsTakeEffectAtOnceAndAreSaved) {
    LoopbackClient early(daemon_.Port());
    GeneralSettings settings = daemon_.Spooler().Settings();
    const uint16_t port = FreePort();
    settings.lpdServerPort = static_cast<int16_t>(port);
    daemon_.Spooler().SetSettings(settings);
    EXPECT_EQ(daemon_.Port(), port);
    const std::string listed = Exchange(port, "\003lp\n");
    EXPECT_FALSE(listed.empty());
    early.Send("\003lp\n");
    EXPECT_EQ(early.ReceiveUntilClose(std::chrono::seconds(5)), listed);
    daemon_.Spooler().SaveSettings();
    EXPECT_EQ(Profile().GetInt("GENERAL CONFIGURE", "LPDServerPort", 0), settings.lpdServerPort);
}

}  // namespace
}  // namespace pg::test
