// The spooler as the window drives it: start-up from the configuration file, the spool area
// clearing, and the settings.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "config/ProfileFile.h"
#include "tests/engine/EngineTestSupport.h"

namespace pg::test {
namespace {

// "yes" in any case clears, and so does a value that is neither yes nor no (the default
// applies); then the files directly in queue directories go. ActivateLPDOnStart, read the same
// way (its default is no), starts spooling before any window exists.
TEST(SpoolerStartup, ClearsTheSpoolAreasQueueDirectoriesOnlyAndActivatesAsTold) {
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
                              .Set("GENERAL CONFIGURE", "ClearSpoolDirectory", value)
                              .Set("GENERAL CONFIGURE", "ActivateLPDOnStart", value),
                          /*activate=*/false);
        EXPECT_EQ(daemon.Spooler().State() == SpoolerState::Running, value == "yEs");
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
    TestDaemon daemon_;
};

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
