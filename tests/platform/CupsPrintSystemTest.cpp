#include "platform/CupsPrintSystem.h"

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/BufferedPrinterHandle.h"
#include "platform/CupsPrinterHandle.h"
#include "platform/UniqueFd.h"
#include "tests/platform/PrivateCupsd.h"

namespace pg {
namespace {

using test::PrivateCupsd;

std::string AwkwardBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(static_cast<char>(i));
    }
    bytes += std::string("\r\n\f\0\xff\n\r\x1b", 8);
    return bytes;
}

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

    PrivateCupsd cupsd_;
    CupsPrintSystem system_;
};

TEST_F(CupsPrintSystemTest, RawDocumentArrivesByteExact) {
    StartCupsd({{.name = "raw"}});
    std::string big(2 * BufferedPrinterHandle::kBufferSize + 3, '\0');
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 131);
    }
    const std::string awkward = AwkwardBytes();

    int error = -1;
    std::unique_ptr<PrinterHandle> printer = system_.Open("raw", error);
    ASSERT_NE(printer, nullptr) << error;
    EXPECT_EQ(error, 0);
    ASSERT_TRUE(printer->StartDocument("dfA001host")) << std::hex << printer->LastError();
    ASSERT_TRUE(printer->StartPage());
    for (char c : awkward) {
        size_t written = 0;
        ASSERT_TRUE(printer->Write(&c, 1, written));
        ASSERT_EQ(written, 1u);
    }
    ASSERT_TRUE(WriteAll(*printer, big));
    ASSERT_TRUE(printer->EndPage());
    ASSERT_TRUE(printer->EndDocument()) << std::hex << printer->LastError();

    ASSERT_TRUE(cupsd_.WaitUntilIdle()) << cupsd_.ErrorLog();
    EXPECT_EQ(cupsd_.Output("raw"), awkward + big);
}

TEST_F(CupsPrintSystemTest, OneHandlePrintsSeveralDocuments) {
    StartCupsd({{.name = "raw"}});
    int error = 0;
    std::unique_ptr<PrinterHandle> printer = system_.Open("raw", error);
    ASSERT_NE(printer, nullptr);
    for (const std::string text : {"first\f", "second\f"}) {
        ASSERT_TRUE(printer->StartDocument("doc"));
        ASSERT_TRUE(WriteAll(*printer, text));
        ASSERT_TRUE(printer->EndDocument()) << std::hex << printer->LastError();
        ASSERT_TRUE(cupsd_.WaitUntilIdle());
        EXPECT_EQ(cupsd_.Output("raw"), text);  // the device file is truncated per job
    }
}

TEST_F(CupsPrintSystemTest, PrintersAndDefaultComeFromTheScheduler) {
    StartCupsd({{.name = "zeta"}, {.name = "Alpha", .isDefault = true}, {.name = "mid"}});
    EXPECT_EQ(system_.Printers(), (std::vector<std::string>{"Alpha", "mid", "zeta"}));
    EXPECT_EQ(system_.DefaultPrinter(), "Alpha");

    StartCupsd({{.name = "only"}});
    EXPECT_EQ(system_.Printers(), std::vector<std::string>{"only"});
    EXPECT_EQ(system_.DefaultPrinter(), "");
}

TEST_F(CupsPrintSystemTest, UnknownPrinterDoesNotOpen) {
    StartCupsd({{.name = "raw", .isDefault = true}});
    for (const char* name : {"nope", ""}) {
        int error = 0;
        EXPECT_EQ(system_.Open(name, error), nullptr) << name;
        EXPECT_GE(error, 0x0400) << name;  // an IPP error status
        EXPECT_NE(error, CupsPrintSystem::kNoScheduler) << name;
    }
}

TEST_F(CupsPrintSystemTest, RejectingQueueFailsAtStartDocument) {
    StartCupsd({{.name = "closed", .accepting = false}});
    int error = 0;
    std::unique_ptr<PrinterHandle> printer = system_.Open("closed", error);
    ASSERT_NE(printer, nullptr);  // it exists: only jobs are refused
    EXPECT_FALSE(printer->StartDocument("doc"));
    EXPECT_EQ(printer->LastError(), IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS);
    EXPECT_EQ(printer->LastError(), 0x0506);
    EXPECT_FALSE(printer->EndDocument());
}

TEST_F(CupsPrintSystemTest, NoSchedulerGivesItsOwnCode) {
    StartCupsd({{.name = "raw", .isDefault = true}});
    cupsd_.Stop();
    int error = 0;
    EXPECT_EQ(system_.Open("raw", error), nullptr);
    EXPECT_EQ(error, CupsPrintSystem::kNoScheduler);
    EXPECT_TRUE(system_.Printers().empty());
    EXPECT_EQ(system_.DefaultPrinter(), "");

    // A socket that exists with nobody listening on it (the fixture restores CUPS_SERVER).
    const std::string dead = cupsd_.Directory() + "/dead.sock";
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, dead.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::setenv("CUPS_SERVER", dead.c_str(), 1);
    cupsSetServer(nullptr);
    EXPECT_EQ(system_.Open("raw", error), nullptr);
    EXPECT_EQ(error, CupsPrintSystem::kNoScheduler);
}

TEST_F(CupsPrintSystemTest, SchedulerGoneAfterOpenFailsTheDocument) {
    StartCupsd({{.name = "raw"}});
    int error = 0;
    std::unique_ptr<PrinterHandle> printer = system_.Open("raw", error);
    ASSERT_NE(printer, nullptr);
    cupsd_.Stop();
    EXPECT_FALSE(printer->StartDocument("doc"));
    EXPECT_NE(printer->LastError(), 0);
}

TEST_F(CupsPrintSystemTest, UnfinishedDocumentIsCancelled) {
    StartCupsd({{.name = "raw"}});
    int error = 0;
    std::unique_ptr<PrinterHandle> printer = system_.Open("raw", error);
    ASSERT_NE(printer, nullptr);
    ASSERT_TRUE(printer->StartDocument("doc"));
    ASSERT_TRUE(WriteAll(*printer, "half a job"));
    ASSERT_TRUE(printer->Flush());
    const int job = dynamic_cast<CupsPrinterHandle&>(*printer).JobId();
    EXPECT_EQ(cupsd_.ActiveJobs("raw"), std::vector<int>{job});
    printer.reset();
    // Left alone the job would wait for the rest of its document for ever.
    EXPECT_TRUE(cupsd_.WaitUntilIdle(std::chrono::seconds(5))) << cupsd_.ErrorLog();
    EXPECT_EQ(cupsd_.Output("raw"), "");
}

TEST_F(CupsPrintSystemTest, ThreadsPrintAtTheSameTime) {
    constexpr int kThreads = 4;
    std::vector<PrivateCupsd::Queue> queues;
    for (int t = 0; t < kThreads; ++t) {
        queues.push_back({.name = "q" + std::to_string(t)});
    }
    StartCupsd(queues);
    std::vector<std::string> texts(kThreads);
    std::vector<int> results(kThreads, -1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        texts[t] = std::string(100000 + t, static_cast<char>('a' + t)) + "\f";
        threads.emplace_back([&, t] {
            int error = 0;
            std::unique_ptr<PrinterHandle> printer = system_.Open(queues[t].name, error);
            const bool printed = printer && printer->StartDocument("doc") &&
                                 WriteAll(*printer, texts[t]) && printer->EndDocument();
            results[t] = printed ? 0 : (printer ? printer->LastError() : error);
            system_.Printers();  // listing while others print
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(results, std::vector<int>(kThreads, 0));
    ASSERT_TRUE(cupsd_.WaitUntilIdle()) << cupsd_.ErrorLog();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(cupsd_.Output(queues[t].name), texts[t]) << t;
    }
}

}  // namespace
}  // namespace pg
