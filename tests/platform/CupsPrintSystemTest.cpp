#include "platform/CupsPrintSystem.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/BufferedPrinterHandle.h"
#include "platform/CupsPrinterHandle.h"
#include "tests/platform/PrivateCupsd.h"

namespace pg {
namespace {

using test::PrivateCupsd;

bool WriteAll(PrinterHandle& printer, const std::string& bytes) {
    size_t written = 0;
    return printer.Write(bytes.data(), bytes.size(), written) && written == bytes.size();
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

    std::unique_ptr<PrinterHandle> Open(const std::string& printer) {
        int error = -1;
        std::unique_ptr<PrinterHandle> handle = system_.Open(printer, error);
        EXPECT_NE(handle, nullptr) << printer << ": " << std::hex << error;
        return handle;
    }

    PrivateCupsd cupsd_;
    CupsPrintSystem system_;
};

// Every byte value, buffered or in blocks larger than the buffer, comes out of the queue's
// device unchanged; one handle prints document after document.
TEST_F(CupsPrintSystemTest, RawDocumentsArriveByteExact) {
    StartCupsd({{.name = "raw"}});
    std::string awkward = std::string("\r\n\f\0\xff\n\r\x1b", 8);
    for (int i = 0; i < 256; ++i) {
        awkward.push_back(static_cast<char>(i));
    }
    std::string big(2 * BufferedPrinterHandle::kBufferSize + 3, '\0');
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 131);
    }
    std::unique_ptr<PrinterHandle> printer = Open("raw");
    ASSERT_NE(printer, nullptr);
    ASSERT_TRUE(printer->StartDocument("dfA001host")) << std::hex << printer->LastError();
    ASSERT_TRUE(printer->StartPage() && WriteAll(*printer, awkward));
    ASSERT_TRUE(WriteAll(*printer, big) && printer->EndPage());
    ASSERT_TRUE(printer->EndDocument()) << std::hex << printer->LastError();
    ASSERT_TRUE(cupsd_.WaitUntilIdle()) << cupsd_.ErrorLog();
    EXPECT_EQ(cupsd_.Output("raw"), awkward + big);

    ASSERT_TRUE(printer->StartDocument("second") && WriteAll(*printer, "second\f"));
    ASSERT_TRUE(printer->EndDocument()) << std::hex << printer->LastError();
    ASSERT_TRUE(cupsd_.WaitUntilIdle());
    EXPECT_EQ(cupsd_.Output("raw"), "second\f");  // the device file is truncated per job
}

// Printers and the default come from the scheduler; an empty name never opens the default.
// Without a scheduler every call fails, with kNoScheduler where there is a code (the rejecting
// and unknown printers' IPP codes are checked where delivery logs them).
TEST_F(CupsPrintSystemTest, PrintersDefaultAndFailures) {
    StartCupsd({{.name = "zeta"}, {.name = "Alpha", .isDefault = true}, {.name = "mid"}});
    EXPECT_EQ(system_.Printers(), (std::vector<std::string>{"Alpha", "mid", "zeta"}));
    EXPECT_EQ(system_.DefaultPrinter(), "Alpha");
    int error = 0;
    EXPECT_EQ(system_.Open("", error), nullptr);
    EXPECT_GE(error, 0x0400);

    StartCupsd({{.name = "only"}});
    EXPECT_EQ(system_.Printers(), std::vector<std::string>{"only"});
    EXPECT_EQ(system_.DefaultPrinter(), "");
    std::unique_ptr<PrinterHandle> printer = Open("only");
    ASSERT_NE(printer, nullptr);
    cupsd_.Stop();
    EXPECT_FALSE(printer->StartDocument("doc"));
    EXPECT_NE(printer->LastError(), 0);
    EXPECT_EQ(system_.Open("only", error), nullptr);
    EXPECT_EQ(error, CupsPrintSystem::kNoScheduler);
    EXPECT_TRUE(system_.Printers().empty());
    EXPECT_EQ(system_.DefaultPrinter(), "");
}

TEST_F(CupsPrintSystemTest, UnfinishedDocumentIsCancelled) {
    StartCupsd({{.name = "raw"}});
    std::unique_ptr<PrinterHandle> printer = Open("raw");
    ASSERT_NE(printer, nullptr);
    ASSERT_TRUE(printer->StartDocument("doc") && WriteAll(*printer, "half a job"));
    ASSERT_TRUE(printer->Flush());
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
                int error = 0;
                auto printer = system_.Open("q" + std::to_string(t), error);
                if (!printer || !printer->StartDocument("doc") || !WriteAll(*printer, text(t)) ||
                    !printer->EndDocument()) {
                    ++failures;
                }
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
