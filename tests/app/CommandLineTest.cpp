#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace pg {
namespace {

TEST(CommandLine, AcceptsHomeInBothFormsAndPaused) {
    CommandLine line = CommandLine::Parse({"--home", "/srv/pg", "--paused"});
    EXPECT_EQ(line.error, "");
    EXPECT_EQ(line.home, "/srv/pg");
    EXPECT_TRUE(line.paused);
    line = CommandLine::Parse({"--home=rel/dir"});
    EXPECT_EQ(line.home, "rel/dir");
    EXPECT_FALSE(line.paused);
    EXPECT_FALSE(CommandLine::Parse({}).home.has_value());
}

TEST(CommandLine, TheLastHomeWins) {
    EXPECT_EQ(CommandLine::Parse({"--home", "a", "--home=b"}).home, "b");
}

TEST(CommandLine, RefusesWhatItCannotUse) {
    EXPECT_EQ(CommandLine::Parse({"--home"}).error, "--home needs a directory");
    EXPECT_EQ(CommandLine::Parse({"--home="}).error, "--home needs a directory");
    EXPECT_EQ(CommandLine::Parse({"--home", ""}).error, "--home needs a directory");
    EXPECT_EQ(CommandLine::Parse({"-x"}).error, "unknown argument '-x'");
    EXPECT_EQ(CommandLine::Parse({"--paused", "extra"}).error, "unknown argument 'extra'");
}

TEST(CommandLine, HelpAndVersion) {
    EXPECT_TRUE(CommandLine::Parse({"-h"}).help);
    EXPECT_TRUE(CommandLine::Parse({"--help"}).help);
    EXPECT_TRUE(CommandLine::Parse({"--version"}).version);
    EXPECT_NE(CommandLine::Usage("pressgated").find("--home DIR"), std::string::npos);
}

}  // namespace
}  // namespace pg
