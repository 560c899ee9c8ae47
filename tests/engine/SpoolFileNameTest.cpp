// File-name analysis of control and data files, the job file pattern built from it, and the
// listing and deletion of a job's spool files.

#include "engine/SpoolFileName.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/JobEntry.h"
#include "tests/support/TempDir.h"

namespace pg::test {
namespace {

struct NameCase {
    std::string name;
    int32_t prefixLength;
    std::string digits;
    std::string suffix;
    int32_t jobNo;
    std::string pattern;
    std::string dataFile;  // a data file of the same job (empty: none can be told apart)
    std::string otherJob;  // a file of another job that the pattern must not find
};

const std::vector<NameCase>& NameCases() {
    static const std::vector<NameCase> cases{
        {"cfA123host", 3, "123", "host", 123, "???123host", "dfA123host", "cfA124host"},
        {"cfA007host", 3, "007", "host", 7, "???007host", "dfB007host", "cfA070host"},
        {"cfA12host", 3, "12", "host", 12, "???12host", "dfA12host", "cfA123host"},
        // More than three digits: all of them, as far as the ten-character window reaches.
        {"cfA1234host", 3, "1234", "host", 1234, "???1234host", "dfA1234host", "cfA1235host"},
        {"cfA1234567890host", 3, "1234567", "890host", 1234567, "???1234567890host",
         "dfA1234567890host", "cfA1234567891host"},
        // No digit among the first ten characters: all ten are prefix, the rest is suffix.
        {"controlfile", 10, "", "e", 0, "??????????e", "dontrolfile", "controlfilex"},
        {"nodigits", 8, "", "", 0, "????????", "dnodigit", "nodigitsx"},
        // Prefixes longer than six characters.
        {"cfAlonger9host", 9, "9", "host", 9, "?????????9host", "dfAlonger9host", "cfAlonger8host"},
        {"abcdefghij1", 10, "", "1", 0, "??????????1", "dbcdefghij1", "abcdefghij2"},
        // Shorter than ten characters.
        {"cf1", 2, "1", "", 1, "??1", "df1", "cf2"},
        {"cfA5h", 3, "5", "h", 5, "???5h", "dfA5h", "cfA5i"},
        // Starting with digits: no character in front of the number.
        {"123host", 0, "123", "host", 123, "123host", "", "124host"},
        // Ten digits at the start: the tenth goes to the suffix, so the number fits.
        {"1234567890host", 0, "123456789", "0host", 123456789, "1234567890host", "",
         "1234567891host"},
        {"000000000x", 0, "000000000", "x", 0, "000000000x", "", "000000001x"},
    };
    return cases;
}

// Builds the entry the way reception does from a control file's name.
void FillFromName(JobEntry& job, const SpoolFileName& analysis) {
    job.prefixLength = analysis.prefixLength;
    job.digitCount = static_cast<int32_t>(analysis.digits.size());
    job.jobNo = analysis.JobNumber();
    job.nameSuffix = analysis.suffix;
}

TEST(SpoolFileNameAnalysis, SplitsPrefixDigitsAndSuffix) {
    for (const NameCase& c : NameCases()) {
        const SpoolFileName analysis = SpoolFileName::Analyse(c.name);
        EXPECT_EQ(analysis.prefixLength, c.prefixLength) << c.name;
        EXPECT_EQ(analysis.digits, c.digits) << c.name;
        EXPECT_EQ(analysis.suffix, c.suffix) << c.name;
        EXPECT_EQ(analysis.JobNumber(), c.jobNo) << c.name;
        EXPECT_EQ(analysis.Pattern(), c.pattern) << c.name;
        EXPECT_FALSE(analysis.Empty()) << c.name;
    }
}

// The first digit at the ninth, tenth and eleventh character: only the first ten count.
TEST(SpoolFileNameAnalysis, OnlyTheFirstTenCharactersAreScanned) {
    SpoolFileName at9 = SpoolFileName::Analyse("abcdefgh12x");
    EXPECT_EQ(at9.prefixLength, 8);
    EXPECT_EQ(at9.digits, "12");
    EXPECT_EQ(at9.suffix, "x");

    SpoolFileName at10 = SpoolFileName::Analyse("abcdefghi12x");
    EXPECT_EQ(at10.prefixLength, 9);
    EXPECT_EQ(at10.digits, "1");
    EXPECT_EQ(at10.suffix, "2x");

    SpoolFileName at11 = SpoolFileName::Analyse("abcdefghij12x");
    EXPECT_EQ(at11.prefixLength, 10);
    EXPECT_EQ(at11.digits, "");
    EXPECT_EQ(at11.suffix, "12x");
}

TEST(SpoolFileNameAnalysis, AnEmptyNameGivesAnEmptyAnalysis) {
    const SpoolFileName analysis = SpoolFileName::Analyse("");
    EXPECT_TRUE(analysis.Empty());
    EXPECT_EQ(analysis.Pattern(), "");
    EXPECT_EQ(analysis.JobNumber(), 0);
}

// Every job must be found again by its own pattern: the pattern matches the control file's
// name, the job's data files, and nothing of another job.
TEST(JobFilePattern, FindsItsOwnFilesAndNoOtherJobs) {
    for (const NameCase& c : NameCases()) {
        JobEntry job;
        FillFromName(job, SpoolFileName::Analyse(c.name));
        const std::string pattern = job.FilePattern();
        EXPECT_EQ(pattern, c.pattern) << c.name;
        EXPECT_TRUE(MatchesSpoolPattern(c.name, pattern)) << c.name;
        EXPECT_FALSE(MatchesSpoolPattern(c.otherJob, pattern)) << c.name;
        if (!c.dataFile.empty()) {
            EXPECT_TRUE(MatchesSpoolPattern(c.dataFile, pattern)) << c.name;
            EXPECT_TRUE(MatchesSpoolPattern(c.dataFile, job.FilePattern(true))) << c.name;
            EXPECT_FALSE(MatchesSpoolPattern(c.name, job.FilePattern(true))) << c.name;
        }
    }
}

TEST(JobFilePattern, DataOnlyPutsADInFront) {
    JobEntry job;
    FillFromName(job, SpoolFileName::Analyse("cfA007host"));
    EXPECT_EQ(job.FilePattern(true), "d??007host");
}

// A name that starts with its number has no character to mark a data file: the data-only
// pattern selects nothing, not even the control file.
TEST(JobFilePattern, DataOnlySelectsNothingWithoutAPrefix) {
    JobEntry job;
    FillFromName(job, SpoolFileName::Analyse("123host"));
    EXPECT_EQ(job.FilePattern(true), "");
    EXPECT_FALSE(MatchesSpoolPattern("123host", job.FilePattern(true)));
    EXPECT_FALSE(MatchesSpoolPattern("d23host", job.FilePattern(true)));
}

TEST(JobFilePattern, ZeroPadsTheNumberToTheDigitsOfTheName) {
    JobEntry job;
    job.prefixLength = 3;
    job.nameSuffix = "h";
    job.jobNo = 5;
    job.digitCount = 1;
    EXPECT_EQ(job.FilePattern(), "???5h");
    job.digitCount = 4;
    EXPECT_EQ(job.FilePattern(), "???0005h");
    job.jobNo = 12345;  // wider than digitCount: in full
    job.digitCount = 3;
    EXPECT_EQ(job.FilePattern(), "???12345h");
    job.digitCount = 0;
    EXPECT_EQ(job.FilePattern(), "???h");
}

TEST(MatchesSpoolPattern, QuestionMarkIsExactlyOneCharacter) {
    EXPECT_TRUE(MatchesSpoolPattern("cfA123host", "???123host"));
    EXPECT_TRUE(MatchesSpoolPattern("???123host", "???123host"));
    EXPECT_FALSE(MatchesSpoolPattern("cf123host", "???123host"));
    EXPECT_FALSE(MatchesSpoolPattern("cfAA123host", "???123host"));
    EXPECT_FALSE(MatchesSpoolPattern("cfA123hos", "???123host"));
    EXPECT_FALSE(MatchesSpoolPattern("cfA123Host", "???123host"));  // case counts
    EXPECT_TRUE(MatchesSpoolPattern("", ""));
    EXPECT_FALSE(MatchesSpoolPattern("a", ""));
}

std::vector<std::string> DirectoryOrder(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = opendir(directory.c_str());
    while (const dirent* entry = readdir(dir)) {
        names.emplace_back(entry->d_name);
    }
    closedir(dir);
    return names;
}

TEST(ListSpoolFiles, RegularFilesOfTheJobWithSizesInDirectoryOrder) {
    TempDir dir;
    WriteFile(dir / "cfA123host", "Hhost\n");
    WriteFile(dir / "dfA123host", "0123456789");
    WriteFile(dir / "dfB123host", "");
    WriteFile(dir / "cfA124host", "other job");
    WriteFile(dir / "cfA123hostx", "longer name");
    ASSERT_EQ(mkdir((dir / "xfA123host").c_str(), 0755), 0);
    ASSERT_EQ(symlink((dir / "dfA123host").c_str(), (dir / "lfA123host").c_str()), 0);

    const std::vector<SpoolFile> files = ListSpoolFiles(dir.Path(), "???123host");
    std::vector<std::string> expectedOrder;
    for (const std::string& name : DirectoryOrder(dir.Path())) {
        if (name == "cfA123host" || name == "dfA123host" || name == "dfB123host") {
            expectedOrder.push_back(name);
        }
    }
    ASSERT_EQ(files.size(), 3u);
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i].name, expectedOrder[i]);
        const uint64_t expectedSize = files[i].name == "cfA123host"   ? 6
                                      : files[i].name == "dfA123host" ? 10
                                                                      : 0;
        EXPECT_EQ(files[i].size, expectedSize) << files[i].name;
    }
}

TEST(ListSpoolFiles, AMissingDirectoryOrEmptyPatternListsNothing) {
    TempDir dir;
    WriteFile(dir / "cfA123host", "x");
    EXPECT_TRUE(ListSpoolFiles(dir / "missing", "???123host").empty());
    EXPECT_TRUE(ListSpoolFiles(dir.Path(), "").empty());
}

TEST(DeleteSpoolFiles, DeletesTheMatchingFilesOnly) {
    TempDir dir;
    for (const char* name : {"cfA123host", "dfA123host", "dfB123host", "cfA124host", "dfA12host"}) {
        WriteFile(dir / name, "x");
    }
    DeleteSpoolFiles(dir.Path(), "???123host");
    EXPECT_FALSE(FileExists(dir / "cfA123host"));
    EXPECT_FALSE(FileExists(dir / "dfA123host"));
    EXPECT_FALSE(FileExists(dir / "dfB123host"));
    EXPECT_TRUE(FileExists(dir / "cfA124host"));
    EXPECT_TRUE(FileExists(dir / "dfA12host"));
}

}  // namespace
}  // namespace pg::test
