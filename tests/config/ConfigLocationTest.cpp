#include "config/ConfigLocation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace pg {
namespace {

using test::TempDir;
using test::WriteFile;

using OptText = std::optional<std::string>;

// Sets (or unsets) one environment variable for the scope and puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const OptText& value) : name_(name) {
        const char* old = std::getenv(name);
        old_ = old ? OptText(old) : std::nullopt;
        Set(name_, value);
    }
    ~ScopedEnv() { Set(name_, old_); }
    static void Set(const char* name, const OptText& value) {
        value ? (void)::setenv(name, value->c_str(), 1) : (void)::unsetenv(name);
    }

  private:
    const char* name_;
    OptText old_;
};

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(ConfigLocationTest, HomeFollowsTheOrderOfItsSources) {
    TempDir dir{"pgconfig"};
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    ScopedEnv home("HOME", dir / "user");
    ScopedEnv path("PATH", "/usr/bin:/bin");
    struct Row {
        OptText own;           // PRESSGATE_HOME
        OptText xdg;           // XDG_CONFIG_HOME
        OptText override;      // --home
        std::string expected;  // under dir
    } rows[] = {
        {std::nullopt, std::nullopt, std::nullopt, "user/.config/pressgate"},
        {std::nullopt, dir / "xdg", std::nullopt, "xdg/pressgate"},
        {dir / "own", dir / "xdg", std::nullopt, "own"},
        {dir / "own", dir / "xdg", dir / "override/deep", "override/deep"},
        {"", dir / "xdg", std::nullopt, "xdg/pressgate"},  // empty counts as unset
        {std::nullopt, "relative/xdg", std::nullopt, "user/.config/pressgate"},  // not valid
        {"rel/own", std::nullopt, "var/home", "var/home"}};  // relative: against the cwd
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        ScopedEnv own("PRESSGATE_HOME", row.own);
        ScopedEnv xdg("XDG_CONFIG_HOME", row.xdg);
        const ConfigLocation location = ConfigLocation::FromProcess(row.override);
        EXPECT_EQ(location.home, dir / row.expected);
        EXPECT_TRUE(IsDirectory(location.home));  // created with its parents
        EXPECT_EQ(location.IniPath(), dir / row.expected + "/pgate.ini");
        EXPECT_EQ(location.currentDirectory, dir.Path());
        EXPECT_EQ(location.searchPath, "/usr/bin:/bin");
    }
    ASSERT_EQ(::chdir(previous), 0);
}

TEST(ConfigLocationTest, SearchLooksInTheCurrentDirectoryThePathAndTheHome) {
    TempDir dir{"pgconfig"};
    for (const char* name : {"cwd", "home", "p1", "p2", "cwd/sub"}) {
        ASSERT_EQ(::mkdir((dir / name).c_str(), 0755), 0);
    }
    ConfigLocation location{dir / "home", dir / "cwd", dir / "p1" + ":" + dir / "p2"};
    EXPECT_FALSE(location.FindConfigurationFile());
    for (const char* where : {"cwd", "p1", "p2", "home"}) {
        SCOPED_TRACE(where);
        const std::string file = dir / where + "/pgate.ini";
        WriteFile(file, "");
        EXPECT_TRUE(location.FindConfigurationFile());
        ASSERT_EQ(::unlink(file.c_str()), 0);
    }
    // Path entries are taken against the current directory; an empty one is that directory.
    WriteFile(dir / "cwd/sub/pgate.ini", "");
    location.searchPath = "sub";
    EXPECT_TRUE(location.FindConfigurationFile());
    location.searchPath = "::/nowhere:";
    EXPECT_FALSE(location.FindConfigurationFile());
    // Upper case is another name on Linux, and a directory of the name is no file.
    WriteFile(dir / "cwd/PGATE.INI", "");
    ASSERT_EQ(::mkdir((dir / "p1/pgate.ini").c_str(), 0755), 0);
    location.searchPath = dir / "p1";
    EXPECT_FALSE(location.FindConfigurationFile());
}

}  // namespace
}  // namespace pg
