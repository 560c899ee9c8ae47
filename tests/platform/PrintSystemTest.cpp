// The print layer: devices:DIR printers (directories, files, devices, FIFOs) and CUPS printers
// on a private scheduler.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/BufferedPrinterHandle.h"
#include "platform/CupsPrintSystem.h"
#include "platform/CupsPrinterHandle.h"
#include "platform/DevicesPrintSystem.h"
#include "platform/UniqueFd.h"
#include "tests/platform/PrivateCupsd.h"
#include "tests/support/TempDir.h"

namespace pg {
namespace {

using test::PrivateCupsd;
using test::ReadFile;
using test::WriteFile;

constexpr size_t kBuffer = BufferedPrinterHandle::kBufferSize;

bool WriteAll(PrinterHandle& printer, const std::string& bytes) {
    size_t written = 0;
    return printer.Write(bytes.data(), bytes.size(), written) && written == bytes.size();
}

// Every byte value first, then a pattern up to size.
std::string Awkward(size_t size) {
    std::string bytes;
    for (size_t i = 0; i < size; ++i) {
        bytes.push_back(static_cast<char>(i < 256 ? i : (i * 7919) >> 3));
    }
    return bytes;
}

// Opens printer, prints one document and ends it; false at the first failing step.
bool PrintDocument(PrintSystem& system, const std::string& printer, const std::string& name,
                   const std::string& bytes) {
    int error = 0;
    std::unique_ptr<PrinterHandle> handle = system.Open(printer, error);
    return handle && handle->StartDocument(name) && handle->StartPage() &&
           WriteAll(*handle, bytes) && handle->EndPage() && handle->EndDocument();
}

class DevicesPrintSystemTest : public ::testing::Test {
  protected:
    std::unique_ptr<PrinterHandle> OpenStarted(const std::string& printer) {
        int error = 0;
        std::unique_ptr<PrinterHandle> handle = system_.Open(printer, error);
        EXPECT_TRUE(handle != nullptr && handle->StartDocument("doc")) << error;
        return handle;
    }

    test::TempDir dir_{"pg-devices"};
    DevicesPrintSystem system_{dir_.Path()};
};

TEST(PrintSystemCreate, ChoosesByTheValue) {
    EXPECT_NE(dynamic_cast<CupsPrintSystem*>(PrintSystem::Create("cups", nullptr).get()), nullptr);
    for (const char* bad : {"devices:", "CUPS", "lpr:host"}) {
        std::string error;
        EXPECT_EQ(PrintSystem::Create(bad, &error), nullptr) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    // A relative directory is taken from the working directory.
    std::unique_ptr<PrintSystem> relative = PrintSystem::Create("devices:printers/here", nullptr);
    auto* devices = dynamic_cast<DevicesPrintSystem*>(relative.get());
    ASSERT_NE(devices, nullptr);
    EXPECT_EQ(devices->Directory(), std::filesystem::current_path().string() + "/printers/here");
}

// Printers are the visible entries, sorted; the default is named by .default, else the first;
// nothing outside the directory's own entries opens.
TEST_F(DevicesPrintSystemTest, PrinterNamesDefaultAndWhatOpens) {
    EXPECT_TRUE(system_.Printers().empty());
    EXPECT_EQ(system_.DefaultPrinter(), "");
    std::filesystem::create_directory(dir_ / "paper");
    WriteFile(dir_ / "paper/inner", "");
    WriteFile(dir_ / "Zeta", "");
    WriteFile(dir_ / "alpha", "");
    ASSERT_EQ(::symlink((dir_ / "missing").c_str(), (dir_ / "dangling").c_str()), 0);
    EXPECT_EQ(system_.DefaultPrinter(), "Zeta");
    WriteFile(dir_ / ".default", "  paper \t\r\nalpha\n");
    EXPECT_EQ(system_.Printers(), (std::vector<std::string>{"Zeta", "alpha", "dangling", "paper"}));
    EXPECT_EQ(system_.DefaultPrinter(), "paper");
    WriteFile(dir_ / ".default", "gone\n");
    EXPECT_EQ(system_.DefaultPrinter(), "Zeta");
    for (const char* name : {"nope", "", ".default", "paper/inner", "../x", "dangling"}) {
        int error = 0;
        EXPECT_EQ(system_.Open(name, error), nullptr) << name;
        EXPECT_EQ(error, ENOENT) << name;
    }
}

TEST_F(DevicesPrintSystemTest, DirectoryPrinterNumbersDocumentsFromTheHighest) {
    const std::string paper = dir_ / "paper";
    std::filesystem::create_directory(paper);
    ASSERT_TRUE(PrintDocument(system_, "paper", "doc", "one"));
    // A client's name leaves no directory, hides no file and puts no control character out.
    ASSERT_TRUE(PrintDocument(system_, "paper", ".a/b\\c\x01\x7f", "two"));
    EXPECT_EQ(ReadFile(paper + "/000001-doc"), "one");
    EXPECT_EQ(ReadFile(paper + "/000002-_a_b_c__"), "two");
    // A restart goes on from the highest number; names that are not documents do not count.
    for (const char* other : {"000041-old", "99999-short", "0000500", "readme"}) {
        WriteFile(paper + "/" + other, "");
    }
    DevicesPrintSystem restarted(dir_.Path());
    ASSERT_TRUE(PrintDocument(restarted, "paper", "doc", "three"));
    EXPECT_EQ(ReadFile(paper + "/000042-doc"), "three");
}

TEST_F(DevicesPrintSystemTest, ConcurrentDocumentsGetDistinctNumbers) {
    std::filesystem::create_directory(dir_ / "paper");
    std::atomic<int> failures{0};
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 6; ++t) {
            threads.emplace_back([&, t] {
                // Distinct names, so that O_EXCL alone would not notice a shared number.
                for (int i = 0; i < 10; ++i) {
                    const std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
                    failures += PrintDocument(system_, "paper", name, name) ? 0 : 1;
                }
            });
        }
    }
    EXPECT_EQ(failures.load(), 0);
    std::set<std::string> numbers;
    for (const auto& entry : std::filesystem::directory_iterator(dir_ / "paper")) {
        const std::string name = entry.path().filename().string();
        numbers.insert(name.substr(0, 6));
        EXPECT_EQ(ReadFile(entry.path()), name.substr(7));
    }
    EXPECT_EQ(numbers.size(), 60u);
    EXPECT_EQ(*numbers.rbegin(), "000060");
}

// Whatever the write sizes (single bytes, blocks larger than the buffer, with and without bytes
// buffered), every byte arrives unchanged, appended to a file printer.
TEST_F(DevicesPrintSystemTest, WritesArriveByteExact) {
    WriteFile(dir_ / "lp", "old\n");
    const std::string bytes = Awkward(kBuffer), big = Awkward(3 * kBuffer + 17);
    std::unique_ptr<PrinterHandle> printer = OpenStarted("lp");
    ASSERT_NE(printer, nullptr);
    for (const char& byte : bytes) {
        ASSERT_TRUE(WriteAll(*printer, std::string(1, byte)));
    }
    ASSERT_TRUE(WriteAll(*printer, "c") && printer->EndPage());
    ASSERT_TRUE(WriteAll(*printer, "d") && WriteAll(*printer, big));
    ASSERT_TRUE(printer->Flush() && WriteAll(*printer, big));
    ASSERT_TRUE(printer->EndDocument());
    EXPECT_EQ(ReadFile(dir_ / "lp"), "old\n" + bytes + "cd" + big + big);
}

// A write error surfaces when the buffered bytes are sent, with its errno: ENOSPC from a full
// device, EPIPE from a FIFO whose reader went away (and no SIGPIPE ends the process).
TEST_F(DevicesPrintSystemTest, DeviceWriteErrorsCarryTheErrno) {
    ASSERT_EQ(::symlink("/dev/full", (dir_ / "full").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
    UniqueFd reader(::open((dir_ / "pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(reader);
    const std::string big(kBuffer + 1, 'x');
    for (const auto& [name, error] : {std::pair{"pipe", EPIPE}, std::pair{"full", ENOSPC}}) {
        SCOPED_TRACE(name);
        std::unique_ptr<PrinterHandle> printer = OpenStarted(name);
        ASSERT_NE(printer, nullptr);
        reader.Reset();                           // the FIFO's reader goes away mid-document
        ASSERT_TRUE(WriteAll(*printer, "text"));  // buffered: it fails when sent
        EXPECT_FALSE(printer->Flush());
        EXPECT_EQ(printer->LastError(), error);
        size_t written = 99;
        EXPECT_FALSE(printer->Write(big.data(), big.size(), written));
        EXPECT_LT(written, big.size());
        ASSERT_TRUE(WriteAll(*printer, "more"));
        EXPECT_FALSE(printer->EndDocument());
        EXPECT_EQ(printer->LastError(), error);
    }
}

class CupsPrintSystemTest : public ::testing::Test {
  protected:
    // Starts the private scheduler with these queues; skips the test where that cannot be.
    void StartCupsd(const std::vector<PrivateCupsd::Queue>& queues) {
        std::string error;
        if (!cupsd_.Start(queues, &error)) {
            if (::geteuid() != 0) {
                GTEST_SKIP() << error;
            }
            FAIL() << error;
        }
    }

    std::unique_ptr<PrinterHandle> OpenStarted(const std::string& printer) {
        int error = -1;
        std::unique_ptr<PrinterHandle> handle = system_.Open(printer, error);
        EXPECT_NE(handle, nullptr) << printer << ": " << std::hex << error;
        EXPECT_TRUE(handle != nullptr && handle->StartDocument("Budget 2027", "alice"))
            << std::hex << (handle ? handle->LastError() : error);
        return handle;
    }

    PrivateCupsd cupsd_;
    CupsPrintSystem system_;
};

// Every byte value, buffered or in blocks larger than the buffer, comes out of the queue's
// device unchanged; one handle prints document after document.
TEST_F(CupsPrintSystemTest, RawDocumentsArriveByteExact) {
    StartCupsd({{.name = "raw"}});
    const std::string bytes = Awkward(300), big = Awkward(2 * kBuffer + 3);
    std::unique_ptr<PrinterHandle> printer = OpenStarted("raw");
    ASSERT_NE(printer, nullptr);
    ASSERT_TRUE(printer->StartPage() && WriteAll(*printer, bytes));
    ASSERT_TRUE(WriteAll(*printer, big) && printer->EndPage());
    ASSERT_TRUE(printer->EndDocument()) << std::hex << printer->LastError();
    ASSERT_TRUE(cupsd_.WaitUntilIdle()) << cupsd_.ErrorLog();
    EXPECT_EQ(cupsd_.Output("raw"), bytes + big);
    ASSERT_TRUE(printer->StartDocument("second") && WriteAll(*printer, "second\f"));
    ASSERT_TRUE(printer->EndDocument()) << std::hex << printer->LastError();
    ASSERT_TRUE(cupsd_.WaitUntilIdle());
    EXPECT_EQ(cupsd_.Output("raw"), "second\f");  // the device file is truncated per job
}

// Printers and the default come from the scheduler; an empty name never opens the default.
// Without a scheduler every call fails, with kNoScheduler where there is a code (rejecting and
// unknown printers are tried where delivery logs their codes).
TEST_F(CupsPrintSystemTest, PrintersDefaultAndFailures) {
    StartCupsd({{.name = "zeta"}, {.name = "Alpha", .isDefault = true}, {.name = "mid"}});
    EXPECT_EQ(system_.Printers(), (std::vector<std::string>{"Alpha", "mid", "zeta"}));
    EXPECT_EQ(system_.DefaultPrinter(), "Alpha");
    int error = 0;
    EXPECT_EQ(system_.Open("", error), nullptr);
    EXPECT_GE(error, 0x0400);

    StartCupsd({{.name = "only"}});
    EXPECT_EQ(system_.DefaultPrinter(), "");
    std::unique_ptr<PrinterHandle> printer = system_.Open("only", error);
    ASSERT_NE(printer, nullptr);
    cupsd_.Stop();
    EXPECT_FALSE(printer->StartDocument("doc"));
    EXPECT_NE(printer->LastError(), 0);
    EXPECT_EQ(system_.Open("only", error), nullptr);
    EXPECT_EQ(error, CupsPrintSystem::kNoScheduler);
    EXPECT_TRUE(system_.Printers().empty());
}

TEST_F(CupsPrintSystemTest, UnfinishedDocumentIsCancelled) {
    StartCupsd({{.name = "raw"}});
    std::unique_ptr<PrinterHandle> printer = OpenStarted("raw");
    ASSERT_TRUE(printer != nullptr && WriteAll(*printer, "half a job") && printer->Flush());
    const int job = dynamic_cast<CupsPrinterHandle&>(*printer).JobId();
    EXPECT_EQ(cupsd_.ActiveJobs("raw"), std::vector<int>{job});
    printer.reset();
    // Left alone the job would wait for the rest of its document for ever.
    EXPECT_TRUE(cupsd_.WaitUntilIdle(std::chrono::seconds(5))) << cupsd_.ErrorLog();
    EXPECT_EQ(cupsd_.Output("raw"), "");
}

// Each thread its own queue and handle, listing the printers as well: libcups keeps its
// server and last error per thread.
TEST_F(CupsPrintSystemTest, ThreadsPrintAtTheSameTime) {
    StartCupsd({{.name = "q0"}, {.name = "q1"}, {.name = "q2"}, {.name = "q3"}});
    const auto text = [](int t) { return std::string(100000 + t, char('a' + t)) + "\f"; };
    std::atomic<int> failures{0};
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                failures += PrintDocument(system_, "q" + std::to_string(t), "doc", text(t)) ? 0 : 1;
                system_.Printers();
            });
        }
    }
    EXPECT_EQ(failures.load(), 0);
    ASSERT_TRUE(cupsd_.WaitUntilIdle()) << cupsd_.ErrorLog();
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(cupsd_.Output("q" + std::to_string(t)), text(t)) << t;
    }
}

}  // namespace
}  // namespace pg
