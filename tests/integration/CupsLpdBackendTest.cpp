// CUPS's lpd backend as the LPR client: control file first, data file first, and the stream
// mode in which the backend announces either the file's size and sends no terminating zero, or,
// reading standard input, a size beyond 32 bits and sends until it closes the connection. Each
// job is printed once, byte-exact.

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "engine/JobEntry.h"
#include "engine/PrintQueue.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/Process.h"

namespace pg::test {
namespace {

struct BackendCase {
    std::string name;
    std::string options;  // the device URI's options
    bool fromStandardInput;
};

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

    const std::string document = "\x90" + Bytes(200000);  // binary from its first byte
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

    // Printed once, byte-exact (the document is binary: no text treatment, no form feed), named
    // after the file name the backend sent (its N line: the title, blanks kept).
    std::vector<std::string> printed;
    ASSERT_TRUE(WaitUntil([&] {
        printed = Listing(daemon.PrinterPath("lp"));
        return printed.size() == 1 && queue->JobCount() == 0;
    })) << err;
    EXPECT_EQ(printed[0], "000001-Quarterly report");
    EXPECT_TRUE(ReadFile(daemon.PrinterPath("lp") + "/" + printed[0]) == document);
    // Only a backend reading its standard input does not know the size it sends.
    EXPECT_EQ(ReadFile(daemon.TracePath("local.log")).find("is received until the client closes") !=
                  std::string::npos,
              c.fromStandardInput);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, CupsLpdBackend,
    ::testing::Values(BackendCase{"ControlThenData", "order=control,data", false},
                      BackendCase{"DataThenControl", "order=data,control", false},
                      BackendCase{"StreamOfAFile", "mode=stream", false},
                      BackendCase{"StreamOfStandardInput", "mode=stream", true}),
    [](const ::testing::TestParamInfo<BackendCase>& param) { return param.param.name; });

}  // namespace
}  // namespace pg::test
