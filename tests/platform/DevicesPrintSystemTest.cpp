#include "platform/DevicesPrintSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
using test::TempDir;
using test::WriteFile;

// Every byte value, and the ones a text treatment would be tempted to touch.
std::string AwkwardBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(static_cast<char>(i));
    }
    bytes += std::string("\r\n\f\0\xff\n\r", 7);
    return bytes;
}

std::vector<std::string> Entries(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

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
    TempDir dir_{"pg-devices"};
    DevicesPrintSystem system_{dir_.Path()};
};

TEST(PrintSystemCreate, ChoosesBySpec) {
    std::string error;
    std::unique_ptr<PrintSystem> cups = PrintSystem::Create("cups", &error);
    EXPECT_NE(dynamic_cast<CupsPrintSystem*>(cups.get()), nullptr);

    std::unique_ptr<PrintSystem> devices = PrintSystem::Create("devices:/var/printers", &error);
    auto* typed = dynamic_cast<DevicesPrintSystem*>(devices.get());
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(typed->Directory(), "/var/printers");

    for (const char* bad : {"", "devices:", "devices", "CUPS", "lpr:host"}) {
        error.clear();
        EXPECT_EQ(PrintSystem::Create(bad, &error), nullptr) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(PrintSystemCreate, RelativeDirectoryIsTakenFromTheWorkingDirectory) {
    TempDir cwd("pg-cwd");
    const std::string before = std::filesystem::current_path().string();
    ASSERT_EQ(::chdir(cwd.Path().c_str()), 0);
    std::unique_ptr<PrintSystem> system = PrintSystem::Create("devices:printers/here", nullptr);
    ASSERT_EQ(::chdir(before.c_str()), 0);
    auto* devices = dynamic_cast<DevicesPrintSystem*>(system.get());
    ASSERT_NE(devices, nullptr);
    // Fixed at creation: a later chdir does not move the printers.
    EXPECT_EQ(devices->Directory(), cwd.Path() + "/printers/here");
}

TEST_F(DevicesPrintSystemTest, PrintersAreTheVisibleEntriesSorted) {
    EXPECT_TRUE(system_.Printers().empty());
    EXPECT_EQ(system_.DefaultPrinter(), "");
    std::filesystem::create_directory(dir_ / "paper");
    WriteFile(dir_ / "Zeta", "");
    WriteFile(dir_ / "alpha", "");
    WriteFile(dir_ / ".hidden", "");
    ASSERT_EQ(::symlink("/dev/null", (dir_ / "null").c_str()), 0);
    EXPECT_EQ(system_.Printers(), (std::vector<std::string>{"Zeta", "alpha", "null", "paper"}));
}

TEST_F(DevicesPrintSystemTest, DefaultComesFromDotDefaultWhenItNamesAPrinter) {
    WriteFile(dir_ / "b", "");
    WriteFile(dir_ / "c", "");
    EXPECT_EQ(system_.DefaultPrinter(), "b");  // no .default: the first
    WriteFile(dir_ / ".default", "  c \t\r\nb\n");
    EXPECT_EQ(system_.DefaultPrinter(), "c");
    WriteFile(dir_ / ".default", "gone\n");
    EXPECT_EQ(system_.DefaultPrinter(), "b");
    WriteFile(dir_ / ".default", ".default\n");
    EXPECT_EQ(system_.DefaultPrinter(), "b");
}

TEST_F(DevicesPrintSystemTest, UnknownOrInvalidPrinterDoesNotOpen) {
    WriteFile(dir_ / ".default", "x\n");
    std::filesystem::create_directory(dir_ / "sub");
    WriteFile(dir_ / "sub/inner", "");
    ASSERT_EQ(::symlink((dir_ / "missing").c_str(), (dir_ / "dangling").c_str()), 0);
    for (const char* name : {"nope", "", ".default", "sub/inner", "../x", "dangling"}) {
        int error = 0;
        EXPECT_EQ(system_.Open(name, error), nullptr) << name;
        EXPECT_EQ(error, ENOENT) << name;
    }
}

TEST_F(DevicesPrintSystemTest, DirectoryPrinterNumbersDocumentsFromTheHighest) {
    const std::string paper = dir_ / "paper";
    std::filesystem::create_directory(paper);
    ASSERT_TRUE(PrintDocument(system_, "paper", "doc", "one"));
    ASSERT_TRUE(PrintDocument(system_, "paper", "doc", "two"));
    EXPECT_EQ(Entries(paper), (std::vector<std::string>{"000001-doc", "000002-doc"}));
    EXPECT_EQ(ReadFile(paper + "/000001-doc"), "one");
    EXPECT_EQ(ReadFile(paper + "/000002-doc"), "two");

    // A new print system on the same directory (a restart) goes on from the highest number;
    // names that are not documents do not count.
    WriteFile(paper + "/000041-old", "");
    WriteFile(paper + "/99999-short", "");
    WriteFile(paper + "/0000500", "");
    WriteFile(paper + "/readme", "");
    DevicesPrintSystem restarted(dir_.Path());
    ASSERT_TRUE(PrintDocument(restarted, "paper", "a/b/c", "three"));
    EXPECT_EQ(ReadFile(paper + "/000042-a_b_c"), "three");
}

TEST_F(DevicesPrintSystemTest, DirectoryPrinterCutsOverlongDocumentNames) {
    std::filesystem::create_directory(dir_ / "paper");
    ASSERT_TRUE(PrintDocument(system_, "paper", std::string(400, 'n'), "x"));
    const std::vector<std::string> names = Entries(dir_ / "paper");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].size(), 255u);
    EXPECT_EQ(names[0].substr(0, 8), "000001-n");
}

TEST_F(DevicesPrintSystemTest, ConcurrentDocumentsGetDistinctNumbers) {
    std::filesystem::create_directory(dir_ / "paper");
    constexpr int kThreads = 6;
    constexpr int kDocuments = 10;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Distinct names, so that O_EXCL alone would not notice a shared number.
            for (int i = 0; i < kDocuments; ++i) {
                const std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
                if (!PrintDocument(system_, "paper", name, name)) {
                    ++failures[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
    std::set<int> numbers;
    for (const std::string& name : Entries(dir_ / "paper")) {
        numbers.insert(std::stoi(name.substr(0, 6)));
        EXPECT_EQ(ReadFile(dir_ / ("paper/" + name)), name.substr(7));
    }
    ASSERT_EQ(numbers.size(), static_cast<size_t>(kThreads * kDocuments));
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), kThreads * kDocuments);
}

TEST_F(DevicesPrintSystemTest, BytesArriveExactlyWhateverTheWriteSizes) {
    std::filesystem::create_directory(dir_ / "paper");
    const std::string awkward = AwkwardBytes();
    std::string big(3 * BufferedPrinterHandle::kBufferSize + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>((i * 7919) >> 3);
    }
    int error = 0;
    std::unique_ptr<PrinterHandle> printer = system_.Open("paper", error);
    ASSERT_NE(printer, nullptr);
    ASSERT_TRUE(printer->StartDocument("exact"));
    std::string expected;
    for (char c : awkward) {  // one call per byte
        size_t written = 0;
        ASSERT_TRUE(printer->Write(&c, 1, written));
        ASSERT_EQ(written, 1u);
    }
    expected += awkward;
    ASSERT_TRUE(WriteAll(*printer, awkward));  // a small block on top of buffered bytes
    expected += awkward;
    ASSERT_TRUE(WriteAll(*printer, big));  // larger than the buffer, with bytes buffered
    expected += big;
    ASSERT_TRUE(printer->Flush());
    ASSERT_TRUE(WriteAll(*printer, big));  // larger than the buffer, nothing buffered
    expected += big;
    ASSERT_TRUE(printer->EndDocument());
    EXPECT_EQ(ReadFile(dir_ / "paper/000001-exact"), expected);
}

TEST_F(DevicesPrintSystemTest, OneCallPerByteForAMegabyte) {
    WriteFile(dir_ / "lp", "");
    std::string expected(1 << 20, '\0');
    for (size_t i = 0; i < expected.size(); ++i) {
        expected[i] = static_cast<char>(i % 251);
    }
    int error = 0;
    std::unique_ptr<PrinterHandle> printer = system_.Open("lp", error);
    ASSERT_NE(printer, nullptr);
    ASSERT_TRUE(printer->StartDocument("big"));
    size_t total = 0;
    for (char c : expected) {
        size_t written = 0;
        ASSERT_TRUE(printer->Write(&c, 1, written));
        total += written;
    }
    ASSERT_TRUE(printer->EndDocument());
    EXPECT_EQ(total, expected.size());
    EXPECT_EQ(ReadFile(dir_ / "lp"), expected);
}

TEST_F(DevicesPrintSystemTest, WritesWaitInTheBufferUntilItIsFull) {
    WriteFile(dir_ / "lp", "");
    const size_t size = BufferedPrinterHandle::kBufferSize;
    int error = 0;
    std::unique_ptr<PrinterHandle> printer = system_.Open("lp", error);
    ASSERT_NE(printer, nullptr);
    ASSERT_TRUE(printer->StartDocument("d"));
    ASSERT_TRUE(WriteAll(*printer, std::string(size - 1, 'a')));
    EXPECT_EQ(std::filesystem::file_size(dir_ / "lp"), 0u);
    ASSERT_TRUE(WriteAll(*printer, "b"));  // the buffer is full: it goes
    EXPECT_EQ(std::filesystem::file_size(dir_ / "lp"), size);
    ASSERT_TRUE(WriteAll(*printer, "c"));
    EXPECT_EQ(std::filesystem::file_size(dir_ / "lp"), size);
    ASSERT_TRUE(printer->EndPage());  // a page end sends what is buffered
    EXPECT_EQ(std::filesystem::file_size(dir_ / "lp"), size + 1);
    ASSERT_TRUE(printer->EndDocument());
}

TEST_F(DevicesPrintSystemTest, FilePrinterIsAppendedTo) {
    WriteFile(dir_ / "lp", "old\n");
    ASSERT_TRUE(PrintDocument(system_, "lp", "first", "new\r\n"));
    ASSERT_TRUE(PrintDocument(system_, "lp", "second", std::string("\0\xff", 2)));
    EXPECT_EQ(ReadFile(dir_ / "lp"), std::string("old\nnew\r\n\0\xff", 11));
}

TEST_F(DevicesPrintSystemTest, SymlinkToDevNullIsAPrinter) {
    ASSERT_EQ(::symlink("/dev/null", (dir_ / "null").c_str()), 0);
    EXPECT_TRUE(PrintDocument(system_, "null", "doc", std::string(200000, 'x')));
}

TEST_F(DevicesPrintSystemTest, FullDeviceFailsTheWriteWithEnospc) {
    ASSERT_EQ(::symlink("/dev/full", (dir_ / "full").c_str()), 0);
    int error = 0;
    std::unique_ptr<PrinterHandle> printer = system_.Open("full", error);
    ASSERT_NE(printer, nullptr);
    ASSERT_TRUE(printer->StartDocument("doc"));
    // Buffered: the failure shows when the bytes are sent.
    ASSERT_TRUE(WriteAll(*printer, "text"));
    EXPECT_FALSE(printer->Flush());
    EXPECT_EQ(printer->LastError(), ENOSPC);

    const std::string big(BufferedPrinterHandle::kBufferSize + 1, 'x');
    size_t written = 99;
    EXPECT_FALSE(printer->Write(big.data(), big.size(), written));
    EXPECT_LT(written, big.size());
    EXPECT_EQ(printer->LastError(), ENOSPC);

    ASSERT_TRUE(WriteAll(*printer, "more"));
    EXPECT_FALSE(printer->EndDocument());
    EXPECT_EQ(printer->LastError(), ENOSPC);
}

TEST_F(DevicesPrintSystemTest, FifoPrinter) {
    const std::string fifo = dir_ / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int error = 0;
    std::unique_ptr<PrinterHandle> printer = system_.Open("pipe", error);
    ASSERT_NE(printer, nullptr);

    // Nobody reads: the document fails at once instead of hanging the printing thread.
    EXPECT_FALSE(printer->StartDocument("doc"));
    EXPECT_EQ(printer->LastError(), ENXIO);

    // A reader that takes everything.
    UniqueFd reader(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(reader);
    ASSERT_TRUE(printer->StartDocument("doc"));
    ASSERT_TRUE(WriteAll(*printer, "through the pipe"));
    ASSERT_TRUE(printer->EndDocument());
    char buffer[64];
    const ssize_t got = ::read(reader.Get(), buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0), "through the pipe");

    // The reader goes away mid-document: EPIPE, and the process lives on (no SIGPIPE).
    ASSERT_TRUE(printer->StartDocument("doc"));
    reader.Reset();
    ASSERT_TRUE(WriteAll(*printer, "lost"));
    EXPECT_FALSE(printer->Flush());
    EXPECT_EQ(printer->LastError(), EPIPE);
    EXPECT_TRUE(printer->EndDocument());
}

}  // namespace
}  // namespace pg
