#include "config/ProfileFile.h"

#include <dirent.h>
#include <sys/stat.h>

#include <climits>
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

TEST_F(ProfileFileTest, NamesMatchWithoutCaseAndValuesLoseBlanksAndQuotes) {
    WriteFile(path_,
              "[General Configure]\r\n"
              "  HostFile =  \"/x y\"  \r\n"
              "plain=  a b  \r\n"
              "half=\"open\r\n"
              "lone=\"\r\n"
              "inner=\"a\"b\"\r\n");
    EXPECT_EQ(file_.GetString("GENERAL CONFIGURE", "hostfile", "d"), "/x y");
    EXPECT_EQ(file_.GetString("general configure", "PLAIN", "d"), "a b");
    EXPECT_EQ(file_.GetString("General Configure", "half", "d"), "\"open");
    EXPECT_EQ(file_.GetString("General Configure", "lone", "d"), "\"");
    EXPECT_EQ(file_.GetString("General Configure", "inner", "d"), "a\"b");
    EXPECT_EQ(file_.GetString("General Configure", "missing", "dflt"), "dflt");
    EXPECT_EQ(file_.GetString("Other", "plain", "dflt"), "dflt");
    // The platform call drops the default's trailing blanks, not its leading ones.
    EXPECT_EQ(file_.GetString("Other", "plain", " dflt  "), " dflt");
    EXPECT_EQ(ProfileFile(dir_ / "absent.ini").GetString("General Configure", "plain", "d"), "d");
}

TEST_F(ProfileFileTest, ValuesAreCutToTheBufferLessOne) {
    const std::string v254(254, 'a');
    const std::string v255(255, 'b');
    const std::string v256(256, 'c');
    WriteFile(path_, "[S]\r\nk254=" + v254 + "\r\nk255=" + v255 + "\r\nk256=" + v256 + "\r\n");
    EXPECT_EQ(file_.GetString("S", "k254", ""), v254);
    EXPECT_EQ(file_.GetString("S", "k255", ""), v255);
    EXPECT_EQ(file_.GetString("S", "k256", ""), v256.substr(0, 255));
    EXPECT_EQ(file_.GetString("S", "k256", "", 10), std::string(9, 'c'));
    EXPECT_EQ(file_.GetString("S", "k256", "", 1), "");
    EXPECT_EQ(file_.GetString("S", "missing", v256), v256.substr(0, 255));
}

TEST_F(ProfileFileTest, IntegersComeFromLeadingDigits) {
    WriteFile(path_,
              "[N]\r\n"
              "a=12abc\r\nb=abc\r\nc=\r\nd=-7x\r\ne=+5\r\nf= 42 \r\ng=\"17\"\r\n"
              "h=99999999999\r\ni=-99999999999\r\nj=- 3\r\nk=0x10\r\n");
    EXPECT_EQ(file_.GetInt("N", "a", 9), 12);
    EXPECT_EQ(file_.GetInt("N", "b", 9), 0);
    EXPECT_EQ(file_.GetInt("N", "c", 9), 0);  // present but empty: no digits, not the default
    EXPECT_EQ(file_.GetInt("N", "d", 9), -7);
    EXPECT_EQ(file_.GetInt("N", "e", 9), 5);
    EXPECT_EQ(file_.GetInt("N", "f", 9), 42);
    EXPECT_EQ(file_.GetInt("N", "g", 9), 17);
    EXPECT_EQ(file_.GetInt("N", "h", 9), INT_MAX);
    EXPECT_EQ(file_.GetInt("N", "i", 9), INT_MIN);
    EXPECT_EQ(file_.GetInt("N", "j", 9), 0);
    EXPECT_EQ(file_.GetInt("N", "k", 9), 0);
    EXPECT_EQ(file_.GetInt("N", "absent", 9), 9);
    EXPECT_EQ(file_.GetInt("Nope", "a", -4), -4);
}

TEST_F(ProfileFileTest, LinesOutsideKeysAreNoKeysButBelongToTheirSection) {
    WriteFile(path_,
              "top=1\r\n"
              "[Queues]\r\n"
              "; first=comment\r\n"
              "  lp = P,,,text  \r\n"
              "\r\n"
              "bare line\r\n"
              "   \r\n"
              "[queues]\r\n"
              "second=dup\r\n"
              "[Next]\r\n"
              "x=1\r\n");
    EXPECT_EQ(file_.GetString("", "top", "d"), "d");  // before any section: no key
    EXPECT_EQ(file_.GetString("Queues", "; first", "d"), "d");
    EXPECT_EQ(file_.GetString("Queues", "bare line", "d"), "d");
    EXPECT_EQ(file_.GetSection("QUEUES"),
              (std::vector<std::string>{"; first=comment", "lp = P,,,text", "bare line"}));
    EXPECT_EQ(file_.GetSection("Next"), (std::vector<std::string>{"x=1"}));
    EXPECT_TRUE(file_.GetSection("None").empty());
    EXPECT_TRUE(ProfileFile(dir_ / "absent.ini").GetSection("Queues").empty());
}

TEST_F(ProfileFileTest, FirstOfDuplicateSectionsAndKeysIsReadAndWritten) {
    WriteFile(path_, "[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\nonly=4\r\n");
    EXPECT_EQ(file_.GetString("A", "k", ""), "1");
    EXPECT_EQ(file_.GetString("A", "only", "d"), "d");
    ASSERT_TRUE(file_.WriteString("a", "K", "9"));
    EXPECT_EQ(ReadFile(path_), "[A]\r\nk=9\r\nk=2\r\n[a]\r\nk=3\r\nonly=4\r\n");
    ASSERT_TRUE(file_.WriteString("A", "k", std::nullopt));
    EXPECT_EQ(file_.GetString("A", "k", ""), "2");
    ASSERT_TRUE(file_.DeleteSection("A"));
    EXPECT_EQ(ReadFile(path_), "[a]\r\nk=3\r\nonly=4\r\n");
}

// Lines of nine bytes plus their zeros make the arithmetic of the 1024-byte buffer plain: each
// "kNN=xxxxx" costs 10 bytes.
std::string QueueLines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "k" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "=xxxxx\r\n";
    }
    return text;
}

TEST_F(ProfileFileTest, SectionReadFillsTheBufferAndCutsTheLastLine) {
    // 100 lines take 1000 bytes; the buffer's final zero leaves 1023 for lines and their zeros.
    for (const auto& [lastLength, expectedLength] :
         std::vector<std::pair<size_t, size_t>>{{21, 21}, {22, 22}, {23, 22}, {30, 22}}) {
        SCOPED_TRACE(lastLength);
        const std::string last = "z=" + std::string(lastLength - 2, 'q');
        WriteFile(path_, "[Q]\r\n" + QueueLines(100) + last + "\r\n[R]\r\nr=1\r\n");
        const std::vector<std::string> lines = file_.GetSection("Q");
        ASSERT_EQ(lines.size(), 101u);
        EXPECT_EQ(lines[99], "k99=xxxxx");
        EXPECT_EQ(lines.back(), last.substr(0, expectedLength));
    }
}

TEST_F(ProfileFileTest, SectionReadDropsLinesBeyondAFullBuffer) {
    // 1000 + 23 bytes fill the buffer exactly; one more line overflows it, which cuts the
    // content to 1022 bytes: the full line keeps its text, the next one is gone.
    const std::string last = "z=" + std::string(20, 'q');
    WriteFile(path_, "[Q]\r\n" + QueueLines(100) + last + "\r\nw=1\r\n");
    std::vector<std::string> lines = file_.GetSection("Q");
    ASSERT_EQ(lines.size(), 101u);
    EXPECT_EQ(lines.back(), last);
    // 1000 + 22 bytes leave nothing of "w=1" before the cut at 1022.
    WriteFile(path_, "[Q]\r\n" + QueueLines(100) + "z=" + std::string(19, 'q') + "\r\nw=1\r\n");
    lines = file_.GetSection("Q");
    ASSERT_EQ(lines.size(), 101u);
    // 1000 + 21 bytes leave one byte of it, and it comes back as that byte.
    WriteFile(path_, "[Q]\r\n" + QueueLines(100) + "z=" + std::string(18, 'q') + "\r\nw=1\r\n");
    lines = file_.GetSection("Q");
    ASSERT_EQ(lines.size(), 102u);
    EXPECT_EQ(lines.back(), "w");
    // A small buffer: "ab\0cdef\0" needs 9 bytes with the final zero; 8 cut it to 6.
    WriteFile(path_, "[S]\r\nab\r\ncdef\r\n");
    EXPECT_EQ(file_.GetSection("S", 9), (std::vector<std::string>{"ab", "cdef"}));
    EXPECT_EQ(file_.GetSection("S", 8), (std::vector<std::string>{"ab", "cde"}));
    EXPECT_EQ(file_.GetSection("S", 4), (std::vector<std::string>{"ab"}));
    EXPECT_TRUE(file_.GetSection("S", 1).empty());
}

TEST_F(ProfileFileTest, WritingCreatesTheFileTheSectionAndTheKey) {
    ASSERT_TRUE(file_.WriteString("Print Queues", "lp", "P,,,text"));
    EXPECT_EQ(ReadFile(path_), "[Print Queues]\r\nlp=P,,,text\r\n");
    ASSERT_TRUE(file_.WriteString("print queues", "second", "Q,,,t"));
    ASSERT_TRUE(file_.WriteString("lp", "FormFeedAtEndOfJob", "yes"));
    EXPECT_EQ(
        ReadFile(path_),
        "[Print Queues]\r\nlp=P,,,text\r\nsecond=Q,,,t\r\n[lp]\r\nFormFeedAtEndOfJob=yes\r\n");
}

TEST_F(ProfileFileTest, NewKeyGoesAfterTheSectionsLastNonEmptyLine) {
    WriteFile(path_, "[A]\r\nx=1\r\n; note\r\n\r\n\r\n[B]\r\ny=2\r\n\r\n");
    ASSERT_TRUE(file_.WriteString("A", "n", "new"));
    ASSERT_TRUE(file_.WriteString("B", "m", "more"));
    EXPECT_EQ(ReadFile(path_),
              "[A]\r\nx=1\r\n; note\r\nn=new\r\n\r\n\r\n[B]\r\ny=2\r\nm=more\r\n\r\n");
    // A section holding only its header gets the key right after it.
    WriteFile(path_, "[Print Queues]\r\n\r\n[Logging]\r\n");
    ASSERT_TRUE(file_.WriteString("Print Queues", "lp", "P,,,t"));
    EXPECT_EQ(ReadFile(path_), "[Print Queues]\r\nlp=P,,,t\r\n\r\n[Logging]\r\n");
}

TEST_F(ProfileFileTest, ReplacingKeepsEveryOtherByteAndTheKeysSpelling) {
    const std::string before =
        "; written by hand\n"
        "stray=1\r\n"
        "[GENERAL CONFIGURE]\n"
        "Hostfile  =  old\n"
        "\tLPDServerPort=515\r\n"
        "odd line\n"
        "[Logging]\r\n"
        "LogLevel=1";  // no line end at the end of the file
    WriteFile(path_, before);
    ASSERT_TRUE(file_.WriteString("general configure", "HostFile", "/etc/hosts"));
    EXPECT_EQ(ReadFile(path_),
              "; written by hand\nstray=1\r\n[GENERAL CONFIGURE]\nHostfile=/etc/hosts\r\n"
              "\tLPDServerPort=515\r\nodd line\n[Logging]\r\nLogLevel=1");
    ASSERT_TRUE(file_.WriteString("Logging", "LogToScreen", "Y"));
    EXPECT_EQ(ReadFile(path_),
              "; written by hand\nstray=1\r\n[GENERAL CONFIGURE]\nHostfile=/etc/hosts\r\n"
              "\tLPDServerPort=515\r\nodd line\n[Logging]\r\nLogLevel=1\r\nLogToScreen=Y\r\n");
}

TEST_F(ProfileFileTest, FilesWithBareLineFeedsReadLikeCrLfFiles) {
    WriteFile(path_, "[GENERAL CONFIGURE]\nLPDServerPort=40000\nName=a b\n[Print Queues]\nlp=P\n");
    EXPECT_EQ(file_.GetInt("GENERAL CONFIGURE", "LPDServerPort", 515), 40000);
    EXPECT_EQ(file_.GetString("GENERAL CONFIGURE", "Name", ""), "a b");
    EXPECT_EQ(file_.GetSection("Print Queues"), (std::vector<std::string>{"lp=P"}));
    ASSERT_TRUE(file_.WriteString("Print Queues", "lp", std::nullopt));
    EXPECT_EQ(ReadFile(path_),
              "[GENERAL CONFIGURE]\nLPDServerPort=40000\nName=a b\n[Print Queues]\n");
    // A byte order mark in front of the first header does not hide it.
    WriteFile(path_, "\xEF\xBB\xBF[A]\r\nk=v\r\n");
    EXPECT_EQ(file_.GetString("A", "k", "d"), "v");
}

TEST_F(ProfileFileTest, DeletingAKeyOrASectionRemovesExactlyItsLines) {
    const std::string content =
        "[Print Queues]\r\nlp=P,,,t\r\nrq=Q,1.2.3.4,515,t\r\n\r\n"
        "[lp]\r\nFormFeedAtEndOfJob=yes\r\n; kept with its section\r\n\r\n"
        "[Logging]\r\nLogLevel=1\r\n";
    WriteFile(path_, content);
    ASSERT_TRUE(file_.WriteString("Print Queues", "LP", std::nullopt));
    ASSERT_TRUE(file_.DeleteSection("LP"));
    EXPECT_EQ(ReadFile(path_),
              "[Print Queues]\r\nrq=Q,1.2.3.4,515,t\r\n\r\n[Logging]\r\nLogLevel=1\r\n");
    // Deleting what is not there changes nothing and creates nothing.
    const std::string after = ReadFile(path_);
    EXPECT_TRUE(file_.WriteString("Print Queues", "absent", std::nullopt));
    EXPECT_TRUE(file_.WriteString("Absent", "lp", std::nullopt));
    EXPECT_TRUE(file_.DeleteSection("Absent"));
    EXPECT_EQ(ReadFile(path_), after);
    ProfileFile none(dir_ / "none.ini");
    EXPECT_TRUE(none.WriteString("A", "k", std::nullopt));
    EXPECT_TRUE(none.DeleteSection("A"));
    EXPECT_FALSE(none.Exists());
    // The last section goes up to the end of the file.
    ASSERT_TRUE(file_.DeleteSection("logging"));
    EXPECT_EQ(ReadFile(path_), "[Print Queues]\r\nrq=Q,1.2.3.4,515,t\r\n\r\n");
}

TEST_F(ProfileFileTest, WritesThatCouldNotBeReadBackAreRefused) {
    WriteFile(path_, "[A]\r\nk=v\r\n");
    EXPECT_FALSE(file_.WriteString("A", "k", "two\r\nlines"));
    EXPECT_FALSE(file_.WriteString("A", "k", "lf\nonly"));
    EXPECT_FALSE(file_.WriteString("A", "k=x", "v"));
    EXPECT_FALSE(file_.WriteString("A", "", "v"));
    EXPECT_FALSE(file_.WriteString("A", ";k", "v"));
    EXPECT_FALSE(file_.WriteString("A\nB", "k", "v"));
    EXPECT_EQ(ReadFile(path_), "[A]\r\nk=v\r\n");
    EXPECT_FALSE(ProfileFile(dir_ / "no/such/dir/pgate.ini").WriteString("A", "k", "v"));
}

TEST_F(ProfileFileTest, RewritesKeepTheModeAndLeaveNoTemporaryFile) {
    WriteFile(path_, "[A]\r\nk=v\r\n");
    ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
    ASSERT_TRUE(file_.WriteString("A", "k", "w"));
    ASSERT_TRUE(file_.WriteString("A", "new", "x"));
    ASSERT_TRUE(file_.DeleteSection("A"));
    struct stat st {};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    std::vector<std::string> names;
    DIR* listing = ::opendir(dir_.Path().c_str());
    ASSERT_NE(listing, nullptr);
    while (const dirent* entry = ::readdir(listing)) {
        names.emplace_back(entry->d_name);
    }
    ::closedir(listing);
    EXPECT_EQ(names.size(), 3u) << "only ., .. and pgate.ini";
}

TEST_F(ProfileFileTest, WritesThroughASymbolicLinkReplaceItsTarget) {
    const std::string target = dir_ / "real.ini";
    WriteFile(target, "[A]\r\nk=v\r\n");
    ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
    ASSERT_TRUE(file_.WriteString("A", "k", "w"));
    struct stat st {};
    ASSERT_EQ(::lstat(path_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(target), "[A]\r\nk=w\r\n");
}

TEST_F(ProfileFileTest, ConcurrentWritesAreEachKept) {
    // Every write reads and rewrites the whole file: without the lock, writers running
    // side by side would lose each other's keys.
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
