#include "config/ProfileFile.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace pg {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class ProfileFileTest : public ::testing::Test {
  protected:
    TempDir dir_{"pgconfig"};
    std::string path_ = dir_ / "pgate.ini";
    ProfileFile file_{path_};
};

TEST_F(ProfileFileTest, ReadingMatchesNamesWithoutCaseAndCutsValuesTo255) {
    const std::string v254(254, 'a'), v255(255, 'b'), v256(256, 'c');
    WriteFile(path_,
              "top=1\r\n[General Configure]\r\n  HostFile =  \"/x y\"  \r\n"
              "plain=  a b  \n"  // bare LF lines read like CR LF ones
              "half=\"open\r\ninner=\"a\"b\"\r\nPLAIN=second of the key\r\nk254=" +
                  v254 + "\r\nk255=" + v255 + "\r\nk256=" + v256 +
                  "\r\n[Queues]\r\n; first=comment\r\n  lp = P,,,text  \r\n\r\n"
                  "bare line\r\n   \r\n[GENERAL configure]\r\nonly=second section\r\n");
    struct Row {
        const char* section;
        const char* key;
        std::string defaultText;
        std::string expected;
    } rows[] = {{"GENERAL CONFIGURE", "hostfile", "d", "/x y"},
                {"general configure", "PLAIN", "d", "a b"},  // the first of duplicate keys
                {"General Configure", "half", "d", "\"open"},
                {"General Configure", "inner", "d", "a\"b"},
                {"General Configure", "k254", "", v254},
                {"General Configure", "k255", "", v255},
                {"General Configure", "k256", "", v256.substr(0, 255)},
                {"General Configure", "only", "d", "d"},  // of duplicate sections the first
                {"General Configure", "missing", "dflt", "dflt"},
                {"Other", "plain", " dflt  ", " dflt"},  // the default loses trailing blanks
                {"Other", "plain", v256, v256.substr(0, 255)},
                {"", "top", "d", "d"},  // before any section: no key
                {"Queues", "; first", "d", "d"},
                {"Queues", "bare line", "d", "d"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.section) + "/" + row.key);
        EXPECT_EQ(file_.GetString(row.section, row.key, row.defaultText), row.expected);
    }
    // Comments and lines without "=" are no keys but lines of their section.
    EXPECT_EQ(file_.GetSection("QUEUES"),
              (std::vector<std::string>{"; first=comment", "lp = P,,,text", "bare line"}));
    EXPECT_TRUE(file_.GetSection("None").empty());
    const ProfileFile absent(dir_ / "absent.ini");
    EXPECT_EQ(absent.GetString("General Configure", "plain", "d"), "d");
    EXPECT_TRUE(absent.GetSection("Queues").empty());
}

TEST_F(ProfileFileTest, IntegersComeFromLeadingDigits) {
    // Present but without digits gives 0, not the default.
    const std::pair<const char*, int> rows[] = {{"12abc", 12},
                                                {"abc", 0},
                                                {"", 0},
                                                {"-7x", -7},
                                                {"+5", 5},
                                                {" 42 ", 42},
                                                {"\"17\"", 17},
                                                {"- 3", 0},
                                                {"0x10", 0},
                                                {"99999999999", INT_MAX},
                                                {"-99999999999", INT_MIN}};
    std::string text = "[N]\r\n";
    for (size_t i = 0; i < std::size(rows); ++i) {
        text += "k" + std::to_string(i) + "=" + rows[i].first + "\r\n";
    }
    WriteFile(path_, text);
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].first);
        EXPECT_EQ(file_.GetInt("n", "K" + std::to_string(i), 9), rows[i].second);
    }
    EXPECT_EQ(file_.GetInt("N", "absent", 9), 9);
    EXPECT_EQ(file_.GetInt("Nope", "k0", -4), -4);
}

TEST_F(ProfileFileTest, SectionReadHoldsWhatFitsIn1024Bytes) {
    // 100 lines "kNN=xxxxx" take 1000 bytes with their zeros, then a line z of `length`
    // characters and w=1. The final zero leaves 1023 bytes; on overflow the content is cut
    // to 1022.
    std::string lines;
    for (int i = 0; i < 100; ++i) {
        lines += "k" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "=xxxxx\r\n";
    }
    struct Row {
        size_t length;
        size_t count;
        size_t lastLength;  // of z, or of w when count is 102
    } rows[] = {{20, 102, 1}, {21, 101, 21}, {22, 101, 22}, {23, 101, 22}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.length);
        const std::string z = "z=" + std::string(row.length - 2, 'q');
        WriteFile(path_, "[Q]\r\n" + lines + z + "\r\nw=1\r\n[R]\r\nr=1\r\n");
        const std::vector<std::string> got = file_.GetSection("Q");
        ASSERT_EQ(got.size(), row.count);
        EXPECT_EQ(got[99], "k99=xxxxx");
        EXPECT_EQ(got.back(), (row.count == 102 ? "w=1" : z).substr(0, row.lastLength));
    }
}

TEST_F(ProfileFileTest, WritesChangeOnlyTheirOwnLines) {
    // key nullptr: DeleteSection; value nullopt: delete the key.
    struct Row {
        std::optional<std::string> before;  // nullopt: no file
        const char* section;
        const char* key;
        std::optional<std::string_view> value;
        std::string after;
    } rows[] = {
        {std::nullopt, "Print Queues", "lp", "P,,,text", "[Print Queues]\r\nlp=P,,,text\r\n"},
        // A byte order mark does not hide the first header.
        {"\xEF\xBB\xBF[A]\r\nk=1\r\n", "A", "k", "2", "\xEF\xBB\xBF[A]\r\nk=2\r\n"},
        {"[Print Queues]\r\nlp=P\r\n", "lp", "FormFeedAtEndOfJob", "yes",
         "[Print Queues]\r\nlp=P\r\n[lp]\r\nFormFeedAtEndOfJob=yes\r\n"},
        // A new key goes after the section's last non-empty line, before its blank lines.
        {"[A]\r\nx=1\r\n; note\r\n\r\n\r\n[B]\r\n", "a", "n", "new",
         "[A]\r\nx=1\r\n; note\r\nn=new\r\n\r\n\r\n[B]\r\n"},
        {"[Print Queues]\r\n\r\n[Logging]\r\n", "print queues", "lp", "P,,,t",
         "[Print Queues]\r\nlp=P,,,t\r\n\r\n[Logging]\r\n"},
        {"[Logging]\r\nLogLevel=1", "Logging", "LogToScreen", "Y",
         "[Logging]\r\nLogLevel=1\r\nLogToScreen=Y\r\n"},
        // Replacing keeps every other byte and the key's spelling in the file.
        {"; hand\nstray=1\r\n[G]\nHostfile  =  old\n\tPort=515\r\nodd\n[L]\r\nx=1", "g", "HostFile",
         "/etc/hosts",
         "; hand\nstray=1\r\n[G]\nHostfile=/etc/hosts\r\n\tPort=515\r\nodd\n[L]\r\nx=1"},
        {"[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n", "a", "K", "9",
         "[A]\r\nk=9\r\nk=2\r\n[a]\r\nk=3\r\n"},
        {"[Q]\nlp=P\nx=1\n", "Q", "LP", std::nullopt, "[Q]\nx=1\n"},
        {"[Q]\r\nlp=P\r\n\r\n[lp]\r\nFormFeedAtEndOfJob=yes\r\n; kept\r\n\r\n[L]\r\nx=1\r\n", "LP",
         nullptr, std::nullopt, "[Q]\r\nlp=P\r\n\r\n[L]\r\nx=1\r\n"},
        {"[A]\r\nk=1\r\n[Logging]\r\nLogLevel=1\r\n", "logging", nullptr, std::nullopt,
         "[A]\r\nk=1\r\n"},
        // Deleting what is not there changes nothing.
        {"[A]\r\nk=1\r\n", "A", "absent", std::nullopt, "[A]\r\nk=1\r\n"},
        {"[A]\r\nk=1\r\n", "Absent", "k", std::nullopt, "[A]\r\nk=1\r\n"},
        {"[A]\r\nk=1\r\n", "Absent", nullptr, std::nullopt, "[A]\r\nk=1\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.before.value_or("(no file)") + " / " + row.section);
        std::remove(path_.c_str());
        if (row.before) {
            WriteFile(path_, *row.before);
        }
        EXPECT_TRUE(row.key == nullptr ? file_.DeleteSection(row.section)
                                       : file_.WriteString(row.section, row.key, row.value));
        EXPECT_EQ(ReadFile(path_), row.after);
    }
    ProfileFile none(dir_ / "none.ini");
    EXPECT_TRUE(none.WriteString("A", "k", std::nullopt));
    EXPECT_TRUE(none.DeleteSection("A"));
    EXPECT_FALSE(none.Exists());
}

TEST_F(ProfileFileTest, WritesThatCouldNotBeReadBackAreRefused) {
    WriteFile(path_, "[A]\r\nk=v\r\n");
    const std::vector<std::string> rows[] = {{"A", "k", "two\r\nlines"}, {"A", "k", "lf\nonly"},
                                             {"A", "k=x", "v"},          {"A", "", "v"},
                                             {"A", ";k", "v"},           {"A\nB", "k", "v"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0] + "/" + row[1] + "/" + row[2]);
        EXPECT_FALSE(file_.WriteString(row[0], row[1], row[2]));
    }
    EXPECT_EQ(ReadFile(path_), "[A]\r\nk=v\r\n");
    EXPECT_FALSE(ProfileFile(dir_ / "no/such/dir/pgate.ini").WriteString("A", "k", "v"));
}

TEST_F(ProfileFileTest, RewritesKeepModeAndLinkAndLeaveNoTemporaryFile) {
    const std::string target = dir_ / "real.ini";
    WriteFile(target, "[A]\r\nk=v\r\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
    ASSERT_TRUE(file_.WriteString("A", "k", "w"));
    ASSERT_TRUE(file_.WriteString("A", "new", "x"));
    struct stat st {};
    ASSERT_EQ(::lstat(path_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(target), "[A]\r\nk=w\r\nnew=x\r\n");
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    using std::filesystem::directory_iterator;
    EXPECT_EQ(std::distance(directory_iterator(dir_.Path()), directory_iterator()), 2)
        << "only pgate.ini and real.ini";
}

TEST_F(ProfileFileTest, ConcurrentWritesAreEachKept) {
    // Every write reads and rewrites the whole file: without the lock, writers running side by
    // side would lose each other's keys.
    constexpr int kWrites = 40;
    auto writer = [this](const std::string& prefix) {
        for (int i = 0; i < kWrites; ++i) {
            ASSERT_TRUE(file_.WriteString("S", prefix + std::to_string(i), "v"));
        }
    };
    std::thread first(writer, "a");
    std::thread second(writer, "b");
    first.join();
    second.join();
    EXPECT_EQ(file_.GetSection("S").size(), 2u * kWrites);
}

}  // namespace
}  // namespace pg
