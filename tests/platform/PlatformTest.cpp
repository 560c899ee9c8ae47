// The print layer: devices:DIR printers (directories, files, devices) and CUPS printers on a
// private scheduler; the one-instance lock.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/BufferedPrinterHandle.h"
#include "platform/CupsPrintSystem.h"
#include "platform/DevicesPrintSystem.h"
#include "platform/InstanceLock.h"
#include "tests/platform/PrivateCupsd.h"
#include "tests/support/TempDir.h"

namespace pg::test {
namespace {

bool WriteAll(PrinterHandle& printer, const std::string& bytes) {
    size_t written = 0;
    return printer.Write(bytes.data(), bytes.size(), written) && written == bytes.size();
}

// Every byte value, then a pattern beyond the handle's buffer.
const std::string kAwkward = [] {
    std::string bytes;
    for (size_t i = 0; i < 2 * BufferedPrinterHandle::kBufferSize + 3; ++i) {
        bytes.push_back(static_cast<char>(i < 256 ? i : (i * 7919) >> 3));
    }
    return bytes;
}();

// Opens printer, prints one document and ends it; false at the first failing step.
bool PrintDocument(PrintSystem& system, const std::string& printer, const std::string& name,
                   const std::string& bytes) {
    int error = 0;
    std::unique_ptr<PrinterHandle> handle = system.Open(printer, error);
    return handle && handle->StartDocument(name) &&
           WriteAll(*handle, bytes.substr(0, bytes.size() / 2)) &&
           WriteAll(*handle, bytes.substr(bytes.size() / 2)) && handle->EndDocument();
}

// Printers are the directory's visible entries, the default named by .default; nothing outside
// them opens. A directory printer numbers documents on from the highest there, with names a
// client cannot steer; a file printer appends; a device's write error carries its errno.
TEST(DevicesPrintSystem, PrintersNumberedDocumentsFilesAndDevices) {
    TempDir dir("pg-devices");
    DevicesPrintSystem system(dir.Path());
    std::filesystem::create_directory(dir / "paper");
    WriteFile(dir / "paper/inner", "");
    WriteFile(dir / "lp", "old\n");
    ASSERT_EQ(::symlink("/dev/full", (dir / "full").c_str()), 0);
    WriteFile(dir / ".default", "  paper \t\r\n");
    EXPECT_EQ(system.Printers(), (std::vector<std::string>{"full", "lp", "paper"}));
    EXPECT_EQ(system.DefaultPrinter(), "paper");
    for (const char* name : {"nope", "", ".default", "../x", "paper/inner"}) {
        int error = 0;
        EXPECT_EQ(system.Open(name, error), nullptr) << name;
    }

    ASSERT_TRUE(PrintDocument(system, "paper", ".a/b\x01", "one"));
    EXPECT_EQ(ReadFile(dir / "paper/000001-_a_b_"), "one");
    WriteFile(dir / "paper/000041-old", "");
    WriteFile(dir / "paper/0000500", "");
    DevicesPrintSystem restarted(dir.Path());
    ASSERT_TRUE(PrintDocument(restarted, "paper", "doc", kAwkward));
    EXPECT_EQ(ReadFile(dir / "paper/000042-doc"), kAwkward);
    ASSERT_TRUE(PrintDocument(system, "lp", "doc", kAwkward));
    EXPECT_EQ(ReadFile(dir / "lp"), "old\n" + kAwkward);

    int error = 0;
    std::unique_ptr<PrinterHandle> full = system.Open("full", error);
    ASSERT_TRUE(full && full->StartDocument("doc") && WriteAll(*full, "text"));
    EXPECT_FALSE(full->EndDocument());
    EXPECT_EQ(full->LastError(), ENOSPC);
}

// Printers and the default come from the scheduler; an unfinished document is cancelled, not left
// waiting for its rest; without the scheduler, opening fails with kNoScheduler.
TEST(CupsPrintSystem, ListsCancelsTheUnfinishedAndFailsWithoutScheduler) {
    PrivateCupsd cupsd;
    std::string why;
    if (!cupsd.Start({{.name = "q1"}, {.name = "Alpha", .isDefault = true}, {.name = "q0"}},
                     &why)) {
        ASSERT_NE(::geteuid(), 0u) << why;
        GTEST_SKIP() << why;
    }
    CupsPrintSystem system;
    EXPECT_EQ(system.Printers(), (std::vector<std::string>{"Alpha", "q0", "q1"}));
    EXPECT_EQ(system.DefaultPrinter(), "Alpha");
    int error = 0;
    std::unique_ptr<PrinterHandle> half = system.Open("Alpha", error);
    ASSERT_TRUE(half && half->StartDocument("doc") && WriteAll(*half, "half") && half->Flush());
    EXPECT_EQ(cupsd.Jobs("Alpha", true).size(), 1u);
    half.reset();
    EXPECT_TRUE(cupsd.WaitUntilIdle(std::chrono::seconds(5))) << cupsd.ErrorLog();
    EXPECT_EQ(cupsd.Output("Alpha"), "");

    cupsd.Stop();
    EXPECT_EQ(system.Open("q0", error), nullptr);
    EXPECT_EQ(error, CupsPrintSystem::kNoScheduler);
}

TEST(InstanceLock, NoSymlinkFollowed) {
    TempDir planted("pg-lock");
    std::filesystem::create_symlink(planted / "elsewhere", planted / InstanceLock::kName);
    EXPECT_EQ(InstanceLock(planted.Path()).Error(), ELOOP);
    EXPECT_FALSE(FileExists(planted / "elsewhere"));
}

}  // namespace
}  // namespace pg::test
