#include "config/ConfigLocation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace pg {
namespace {

using test::TempDir;
using test::WriteFile;

// Sets (or unsets) one environment variable for the scope and puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Apply(value);
    }
    ~ScopedEnv() { Apply(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void Apply(const std::optional<std::string>& value) {
        if (value.has_value()) {
            ::setenv(name_, value->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

    const char* name_;
    std::optional<std::string> old_;
};

// Runs the test inside its own current directory, so FromProcess sees a known one.
class ScopedCurrentDirectory {
  public:
    explicit ScopedCurrentDirectory(const std::string& directory) {
        char buffer[4096];
        old_ = ::getcwd(buffer, sizeof buffer) != nullptr ? buffer : "/";
        EXPECT_EQ(::chdir(directory.c_str()), 0);
    }
    ~ScopedCurrentDirectory() { (void)::chdir(old_.c_str()); }
    ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
    ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

  private:
    std::string old_;
};

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class ConfigLocationTest : public ::testing::Test {
  protected:
    TempDir dir_{"pgconfig"};
    ScopedEnv pressgateHome_{"PRESSGATE_HOME", std::nullopt};
    ScopedEnv xdg_{"XDG_CONFIG_HOME", std::nullopt};
    ScopedEnv home_{"HOME", dir_ / "user"};
    ScopedCurrentDirectory cwd_{dir_.Path()};
};

TEST(JoinPathTest, AddsOneSlashUnlessThereIsOne) {
    EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
    EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(JoinPath("/", "pgate.ini"), "/pgate.ini");
    EXPECT_EQ(JoinPath("/a", "trace/system.log"), "/a/trace/system.log");
}

TEST_F(ConfigLocationTest, HomeFollowsTheOrderOfItsSources) {
    // Nothing set but $HOME: the XDG default below it, created with its parents.
    ConfigLocation location = ConfigLocation::FromProcess(std::nullopt);
    EXPECT_EQ(location.home, dir_ / "user/.config/pressgate");
    EXPECT_TRUE(IsDirectory(location.home));
    EXPECT_EQ(location.IniPath(), dir_ / "user/.config/pressgate/pgate.ini");

    {
        ScopedEnv xdg("XDG_CONFIG_HOME", dir_ / "xdg");
        EXPECT_EQ(ConfigLocation::FromProcess(std::nullopt).home, dir_ / "xdg/pressgate");
        ScopedEnv own("PRESSGATE_HOME", dir_ / "own");
        EXPECT_EQ(ConfigLocation::FromProcess(std::nullopt).home, dir_ / "own");
        EXPECT_EQ(ConfigLocation::FromProcess(dir_ / "override/deep").home, dir_ / "override/deep");
        EXPECT_TRUE(IsDirectory(dir_ / "override/deep"));
        // Empty values count as unset.
        ScopedEnv emptyOwn("PRESSGATE_HOME", "");
        EXPECT_EQ(ConfigLocation::FromProcess(std::nullopt).home, dir_ / "xdg/pressgate");
    }
    {
        // A relative XDG_CONFIG_HOME is not valid and is passed over.
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative/xdg");
        EXPECT_EQ(ConfigLocation::FromProcess(std::nullopt).home, dir_ / "user/.config/pressgate");
    }
}

TEST_F(ConfigLocationTest, RelativeHomesAreTakenAgainstTheCurrentDirectory) {
    EXPECT_EQ(ConfigLocation::FromProcess(std::string("var/home")).home, dir_ / "var/home");
    EXPECT_TRUE(IsDirectory(dir_ / "var/home"));
    ScopedEnv own("PRESSGATE_HOME", "rel/own");
    EXPECT_EQ(ConfigLocation::FromProcess(std::nullopt).home, dir_ / "rel/own");
}

TEST_F(ConfigLocationTest, CurrentDirectoryAndSearchPathComeFromTheProcess) {
    ScopedEnv path("PATH", "/usr/bin:/bin");
    const ConfigLocation location = ConfigLocation::FromProcess(std::nullopt);
    char buffer[4096];
    ASSERT_NE(::getcwd(buffer, sizeof buffer), nullptr);
    EXPECT_EQ(location.currentDirectory, buffer);
    EXPECT_EQ(location.searchPath, "/usr/bin:/bin");
}

class FindConfigurationFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"cwd", "home", "p1", "p2", "cwd/sub"}) {
            ASSERT_EQ(::mkdir((dir_ / name).c_str(), 0755), 0);
        }
        location_.currentDirectory = dir_ / "cwd";
        location_.home = dir_ / "home";
        location_.searchPath = dir_ / "p1" + ":" + dir_ / "p2";
    }

    TempDir dir_{"pgconfig"};
    ConfigLocation location_;
};

TEST_F(FindConfigurationFileTest, LooksInTheCurrentDirectoryThePathAndTheHome) {
    EXPECT_FALSE(location_.FindConfigurationFile());
    for (const char* where : {"cwd", "p1", "p2", "home"}) {
        SCOPED_TRACE(where);
        const std::string file = dir_ / where + "/pgate.ini";
        WriteFile(file, "");
        EXPECT_TRUE(location_.FindConfigurationFile());
        ASSERT_EQ(::unlink(file.c_str()), 0);
        EXPECT_FALSE(location_.FindConfigurationFile());
    }
}

TEST_F(FindConfigurationFileTest, PathEntriesAreTakenAgainstTheCurrentDirectory) {
    WriteFile(dir_ / "cwd/sub/pgate.ini", "");
    location_.searchPath = "sub";
    EXPECT_TRUE(location_.FindConfigurationFile());
    location_.searchPath = "::/nowhere:";
    EXPECT_FALSE(location_.FindConfigurationFile());
    // Upper case is another name on Linux, and a directory of the name is no file.
    WriteFile(dir_ / "cwd/PGATE.INI", "");
    ASSERT_EQ(::mkdir((dir_ / "p1/pgate.ini").c_str(), 0755), 0);
    location_.searchPath = dir_ / "p1";
    EXPECT_FALSE(location_.FindConfigurationFile());
}

}  // namespace
}  // namespace pg
