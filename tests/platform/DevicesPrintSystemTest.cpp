#include "platform/DevicesPrintSystem.h"

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
#include "platform/UniqueFd.h"
#include "tests/support/TempDir.h"

namespace pg {
namespace {

using test::ReadFile;
using test::WriteFile;

bool WriteAll(PrinterHandle& printer, const std::string& bytes) {
    size_t written = 0;
    return printer.Write(bytes.data(), bytes.size(), written) && written == bytes.size();
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
        EXPECT_NE(handle, nullptr) << error;
        if (handle != nullptr) {
            EXPECT_TRUE(handle->StartDocument("doc")) << handle->LastError();
        }
        return handle;
    }

    test::TempDir dir_{"pg-devices"};
    DevicesPrintSystem system_{dir_.Path()};
};

TEST(PrintSystemCreate, ChoosesByTheValue) {
    EXPECT_NE(dynamic_cast<CupsPrintSystem*>(PrintSystem::Create("cups", nullptr).get()), nullptr);
    for (const char* bad : {"", "devices:", "devices", "CUPS", "lpr:host"}) {
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
    for (const char* unusable : {"gone\n", ".default\n"}) {
        WriteFile(dir_ / ".default", unusable);
        EXPECT_EQ(system_.DefaultPrinter(), "Zeta") << unusable;
    }
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
    ASSERT_TRUE(PrintDocument(system_, "paper", "a/b/c", "two"));
    EXPECT_EQ(ReadFile(paper + "/000001-doc"), "one");
    EXPECT_EQ(ReadFile(paper + "/000002-a_b_c"), "two");

    // A restart goes on from the highest number; names that are not documents do not count.
    for (const char* other : {"000041-old", "99999-short", "0000500", "readme"}) {
        WriteFile(paper + "/" + other, "");
    }
    DevicesPrintSystem restarted(dir_.Path());
    ASSERT_TRUE(PrintDocument(restarted, "paper", "next", "three"));
    EXPECT_EQ(ReadFile(paper + "/000042-next"), "three");

    // An overlong document name is cut to one file name.
    ASSERT_TRUE(PrintDocument(restarted, "paper", std::string(400, 'n'), "x"));
    EXPECT_TRUE(test::FileExists(paper + "/000043-" + std::string(255 - 7, 'n')));
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
        EXPECT_EQ(ReadFile(dir_ / ("paper/" + name)), name.substr(7));
    }
    EXPECT_EQ(numbers.size(), 60u);
    EXPECT_EQ(*numbers.rbegin(), "000060");
}

// Bytes reach the device only when the buffer is full or a page or document ends, so one call
// per byte costs no system call per byte; whatever the write sizes, every byte arrives unchanged.
TEST_F(DevicesPrintSystemTest, WritesAreBufferedAndArriveByteExact) {
    WriteFile(dir_ / "lp", "old\n");  // a file printer is appended to
    std::string awkward = std::string("\r\n\f\0\xff\n\r", 7);
    for (int i = 0; i < 256; ++i) {
        awkward.push_back(static_cast<char>(i));
    }
    const size_t size = BufferedPrinterHandle::kBufferSize;
    std::string big(3 * size + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>((i * 7919) >> 3);
    }
    const auto sizeOnDisk = [&] { return std::filesystem::file_size(dir_ / "lp") - 4; };

    std::unique_ptr<PrinterHandle> printer = OpenStarted("lp");
    ASSERT_NE(printer, nullptr);
    for (char c : awkward) {
        size_t written = 0;
        ASSERT_TRUE(printer->Write(&c, 1, written));
        ASSERT_EQ(written, 1u);
    }
    const std::string fill(size - awkward.size() - 1, 'a');
    ASSERT_TRUE(WriteAll(*printer, fill));
    EXPECT_EQ(sizeOnDisk(), 0u);
    ASSERT_TRUE(WriteAll(*printer, "b"));  // the buffer is full: it goes
    EXPECT_EQ(sizeOnDisk(), size);
    ASSERT_TRUE(WriteAll(*printer, "c"));
    EXPECT_EQ(sizeOnDisk(), size);
    ASSERT_TRUE(printer->EndPage());
    EXPECT_EQ(sizeOnDisk(), size + 1);
    ASSERT_TRUE(WriteAll(*printer, "d") && WriteAll(*printer, big));  // big, bytes buffered
    ASSERT_TRUE(printer->Flush() && WriteAll(*printer, big));         // big, nothing buffered
    ASSERT_TRUE(printer->EndDocument());
    EXPECT_EQ(ReadFile(dir_ / "lp"), "old\n" + awkward + fill + "bcd" + big + big);
}

// A write error surfaces when the buffered bytes are sent, with its errno: ENOSPC from a full
// device, EPIPE from a FIFO whose reader went away (and no SIGPIPE ends the process).
TEST_F(DevicesPrintSystemTest, DeviceWriteErrorsCarryTheErrno) {
    ASSERT_EQ(::symlink("/dev/full", (dir_ / "full").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
    UniqueFd reader(::open((dir_ / "pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(reader);
    const std::string big(BufferedPrinterHandle::kBufferSize + 1, 'x');
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

}  // namespace
}  // namespace pg
