// CUPS's lpd backend as the LPR client: control file first, data file first, and the stream
// mode in which the backend announces either the file's size and sends no terminating zero, or,
// reading standard input, a size beyond 32 bits and sends until it closes the connection.

#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <string>

#include "engine/JobEntry.h"
#include "engine/PrintQueue.h"
#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {
namespace {

// The name of the one file of directory that starts with first ("" unless there is one).
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

class CupsLpdBackend : public ::testing::TestWithParam<BackendCase> {};

TEST_P(CupsLpdBackend, JobLandsByteExactAndTheBackendSucceeds) {
    // Debian's package keeps the backend in backend-available; an installed CUPS links it into
    // backend.
    std::string backend = std::string(PG_SOURCE_DIR) + "/.deps/cups/usr/lib/cups/backend/lpd";
    if (::access(backend.c_str(), X_OK) != 0) {
        backend = std::string(PG_SOURCE_DIR) + "/.deps/cups/usr/lib/cups/backend-available/lpd";
    }
    if (::access(backend.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "CUPS's lpd backend is missing: make deps unpacks package cups into "
                        ".deps/cups";
    }
    const BackendCase& c = GetParam();
    TestDaemon daemon(TestConfig().AddLocalQueue("lp"));
    TempDir work("pgcupslpd");
    auto queue = daemon.Spooler().FindQueueIgnoringCase("lp");
    // The job stays as received: nothing is delivered behind a spooling head job.
    auto plug = std::make_shared<JobEntry>();
    plug->jobNo = 999;
    queue->AddJob(plug);

    std::string document;
    for (int i = 0; i < 200000; ++i) {
        document += static_cast<char>((i * 31 + i / 977) & 0xff);
    }
    WriteFile(work / "document.prn", document);
    Process::Options options;
    options.argv = {backend, "42", "alice", "Quarterly report", "1", ""};
    if (c.fromStandardInput) {
        options.stdinText = document;
    } else {
        options.argv.push_back(work / "document.prn");
    }
    options.env = {"DEVICE_URI=lpd://127.0.0.1:" + std::to_string(daemon.Port()) + "/lp?" +
                       c.options + "&snmp=no",
                   "TMPDIR=" + work.Path()};
    std::string out, err;
    EXPECT_EQ(RunCommand(options, std::chrono::seconds(60), &out, &err), 0) << out << err;

    std::shared_ptr<JobEntry> job;
    ASSERT_TRUE(WaitUntil([&] {
        auto jobs = queue->Jobs();
        job = jobs.size() == 2 && jobs.back()->State() == JobState::Waiting ? jobs.back() : nullptr;
        return job != nullptr;
    })) << err;
    const std::string spool = daemon.SpoolDirectory("lp");
    const std::string control = OnlyFile(spool, 'c');
    const std::string data = OnlyFile(spool, 'd');
    ASSERT_FALSE(control.empty() || data.empty());
    EXPECT_EQ(data, "d" + control.substr(1));
    EXPECT_EQ(ReadFile(spool + "/" + data), document);
    const std::string controlText = ReadFile(spool + "/" + control);
    EXPECT_NE(controlText.find("l" + data + "\n"), std::string::npos) << controlText;
    EXPECT_EQ(job->userName, "alice");
    EXPECT_EQ(job->jobName, "Quarterly");  // the title's first word: the line is split at blanks
    EXPECT_TRUE(job->unlinkFiles);
    EXPECT_EQ(daemon.ScreenHas("INFO: Createing job with state = spooling"), c.controlFirst);
    EXPECT_EQ(daemon.ScreenHas("INFO: Createing job with state = ready"), !c.controlFirst);
    // Only a backend reading its standard input does not know the size it sends.
    EXPECT_EQ(ReadFile(daemon.TracePath("local.log")).find("is received until the client closes") !=
                  std::string::npos,
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
