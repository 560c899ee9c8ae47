#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace pg {
namespace {

// --home and --paused are read by every test of the programs.
TEST(CommandLine, ReadsEveryOption) {
    CommandLine line = CommandLine::Parse({"--home", "a", "--home=rel/dir"});  // the last one wins
    EXPECT_EQ(line.home, "rel/dir");
    EXPECT_FALSE(line.paused);
    EXPECT_TRUE(CommandLine::Parse({"-h"}).help && CommandLine::Parse({"--help"}).help);
    EXPECT_TRUE(CommandLine::Parse({"--version"}).version && CommandLine::Parse({"-V"}).version);
    line = CommandLine::Parse({"--system", "--check-config", "--journal"}, true);
    EXPECT_EQ(line.error, "");
    EXPECT_TRUE(line.system && line.checkConfig && line.journal);
}

TEST(CommandLine, RefusesWhatItCannotUse) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--home"}, {"--home="}, {"--home", ""}}) {
        EXPECT_EQ(CommandLine::Parse(args).error, "--home needs a directory");
    }
    EXPECT_EQ(CommandLine::Parse({"--paused", "extra"}).error, "unknown argument 'extra'");
    // The daemon's own options are not the window's.
    EXPECT_EQ(CommandLine::Parse({"--system"}).error, "unknown argument '--system'");
    EXPECT_EQ(CommandLine::Parse({"--system", "--home", "x"}, true).error,
              "--system and --home exclude each other");
}

}  // namespace
}  // namespace pg
