// CUPS's lpd backend as the LPR client: control file first, data file first, and the stream
// mode in which the backend announces either the file's size and sends no terminating zero, or,
// reading standard input, a size beyond 32 bits and sends until it closes the connection.

#include <dirent.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/LPDPrinter.h"
#include "tests/integration/ExternalProgram.h"
#include "tests/support/Loopback.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {
namespace {

using std::chrono::seconds;

// Debian's package keeps the backend in backend-available; an installed CUPS links it into
// backend.
std::string BackendPath() {
    for (const char* relative : {"/.deps/cups/usr/lib/cups/backend/lpd",
                                 "/.deps/cups/usr/lib/cups/backend-available/lpd"}) {
        const std::string path = std::string(PG_SOURCE_DIR) + relative;
        if (IsExecutable(path)) {
            return path;
        }
    }
    return {};
}

std::string OnlyFile(const std::string& directory, char first) {
    std::string found;
    int count = 0;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == first) {
                found = entry->d_name;
                ++count;
            }
        }
        ::closedir(dir);
    }
    return count == 1 ? found : std::string();
}

struct BackendCase {
    std::string name;
    std::string options;  // the device URI's options
    bool fromStandardInput;
    bool controlFirst;  // the job is made spooling and becomes waiting with its data
};

void PrintTo(const BackendCase& c, std::ostream* out) {
    *out << c.name;
}

class CupsLpdBackend : public ::testing::TestWithParam<BackendCase> {
  protected:
    CupsLpdBackend() : daemon_(TestConfig().AddLocalQueue("lp")), work_("pgcupslpd") {}

    void SetUp() override {
        backend_ = BackendPath();
        if (backend_.empty()) {
            GTEST_SKIP() << "CUPS's lpd backend is missing: make deps unpacks package cups "
                            "into .deps/cups";
        }
        // The job stays as received: nothing is delivered behind a spooling head job.
        auto plug = std::make_shared<JobEntry>();
        plug->jobNo = 999;
        plug->userName = "plug";
        Queue()->AddJob(plug);
    }

    std::shared_ptr<LPDPrinter> Queue() { return daemon_.Spooler().FindPrinter("lp"); }

    TestDaemon daemon_;
    TempDir work_;
    std::string backend_;
};

TEST_P(CupsLpdBackend, JobLandsByteExactAndTheBackendSucceeds) {
    const BackendCase& c = GetParam();
    std::string document;
    for (int i = 0; i < 200000; ++i) {
        document += static_cast<char>((i * 31 + i / 977) & 0xff);
    }
    const std::string file = work_ / "document.prn";
    WriteFile(file, document);

    std::vector<std::string> args = {backend_, "42", "alice", "Quarterly report", "1", ""};
    if (!c.fromStandardInput) {
        args.push_back(file);
    }
    const std::string uri =
        "lpd://127.0.0.1:" + std::to_string(daemon_.Port()) + "/lp?" + c.options + "&snmp=no";
    const ProgramResult backend = RunProgram(args, {"DEVICE_URI=" + uri, "TMPDIR=" + work_.Path()},
                                             seconds(60), c.fromStandardInput ? file : "/dev/null");
    ASSERT_FALSE(backend.timedOut) << backend.output;
    EXPECT_EQ(backend.exitCode, 0) << backend.output;

    std::shared_ptr<JobEntry> job;
    ASSERT_TRUE(WaitUntil([&] {
        auto jobs = Queue()->Jobs();
        if (jobs.size() != 2 || jobs.back()->State() != JobState::Waiting) {
            return false;
        }
        job = jobs.back();
        return true;
    })) << backend.output;

    const std::string spool = daemon_.SpoolDirectory("lp");
    const std::string control = OnlyFile(spool, 'c');
    const std::string data = OnlyFile(spool, 'd');
    ASSERT_FALSE(control.empty());
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(data, "d" + control.substr(1));
    EXPECT_EQ(ReadFile(spool + "/" + data), document);
    const std::string controlText = ReadFile(spool + "/" + control);
    EXPECT_NE(controlText.find("Palice\n"), std::string::npos) << controlText;
    EXPECT_NE(controlText.find("l" + data + "\n"), std::string::npos) << controlText;

    EXPECT_EQ(job->userName, "alice");
    EXPECT_EQ(job->jobName, "Quarterly");  // the title's first word: the line is split at blanks
    EXPECT_TRUE(job->unlinkFiles);
    EXPECT_EQ(daemon_.ScreenHas("INFO: Createing job with state = spooling"), c.controlFirst);
    EXPECT_EQ(daemon_.ScreenHas("INFO: Createing job with state = ready"), !c.controlFirst);
    // Only a backend reading its standard input does not know the size it sends.
    const std::string trace = ReadFile(daemon_.TracePath("local.log"));
    EXPECT_EQ(trace.find("is received until the client closes") != std::string::npos,
              c.fromStandardInput);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, CupsLpdBackend,
    ::testing::Values(BackendCase{"ControlThenData", "order=control,data", false, true},
                      BackendCase{"DataThenControl", "order=data,control", false, false},
                      BackendCase{"StreamOfAFile", "mode=stream", false, true},
                      BackendCase{"StreamOfStandardInput", "mode=stream", true, true}),
    [](const ::testing::TestParamInfo<BackendCase>& param) { return param.param.name; });

}  // namespace
}  // namespace pg::test
