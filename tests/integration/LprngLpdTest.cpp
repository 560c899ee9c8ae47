// Forwarding to a real remote LPD host: LPRng's lpd, private to the test. A job received by a
// Pressgate remote queue over the protocol is forwarded to lpd and arrives there complete: its
// data bytes in the output of queue store, its control lines in the job held by queue hold,
// sent (as root) from one of the reserved ports 722..731.

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/LPDPrinter.h"
#include "tests/integration/ExternalProgram.h"
#include "tests/integration/PrivateLprngLpd.h"
#include "tests/support/Loopback.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {
namespace {

using std::chrono::seconds;

// n bytes through every byte value.
std::string Bytes(size_t n, unsigned seed) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<char>((i * 13 + seed + i / 251) & 0xFF);
    }
    return bytes;
}

std::string Digits(int jobNo) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%03d", jobNo);
    return digits;
}

class LprngLpd : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!IsExecutable(PrivateLprngLpd::kProgram)) {
            GTEST_SKIP() << PrivateLprngLpd::kProgram << " is missing (package lprng)";
        }
        std::string error;
        ASSERT_TRUE(lpd_.Start(&error)) << error;
        const std::string lpdAt = "127.0.0.1," + std::to_string(lpd_.Port()) + ",remote";
        daemon_ = std::make_unique<TestDaemon>(
            TestConfig().AddQueue("tostore", "store," + lpdAt).AddQueue("tohold", "hold," + lpdAt));
    }

    // Sends job jobNo from host localhost to queue over the protocol, every step acknowledged.
    void SendJob(const std::string& queue, int jobNo, const std::string& control,
                 const std::string& data) {
        const std::string name = Digits(jobNo) + "localhost";
        LoopbackClient client(daemon_->Port());
        const std::string ack(1, '\0');
        client.Send("\002" + queue + "\n");
        ASSERT_EQ(client.Receive(1), ack);
        client.Send("\002" + std::to_string(control.size()) + " cfA" + name + "\n");
        ASSERT_EQ(client.Receive(1), ack);
        client.Send(control + '\0');
        ASSERT_EQ(client.Receive(1), ack);
        client.Send("\003" + std::to_string(data.size()) + " dfA" + name + "\n");
        ASSERT_EQ(client.Receive(1), ack);
        client.Send(data + '\0');
        ASSERT_EQ(client.Receive(1), ack);
    }

    static std::string Control(int jobNo, const std::string& user, const std::string& title) {
        const std::string name = Digits(jobNo) + "localhost";
        return "Hlocalhost\nP" + user + "\nJ" + title + "\nldfA" + name + "\nUdfA" + name + "\nN" +
               title + "\n";
    }

    bool QueueEmpty(const std::string& queue) {
        auto printer = daemon_->Spooler().FindPrinter(queue);
        return printer && WaitUntil([&] { return printer->JobCount() == 0; }, seconds(20));
    }

    PrivateLprngLpd lpd_;
    std::unique_ptr<TestDaemon> daemon_;
};

TEST_F(LprngLpd, ForwardedJobArrivesWithEveryDataByte) {
    const std::string data = Bytes(300 * 1024 + 17, 1);
    SendJob("tostore", 321, Control(321, "alice", "bytes"), data);
    ASSERT_TRUE(lpd_.WaitForStoreOutput(data.size())) << lpd_.Output();
    EXPECT_TRUE(lpd_.StoreOutput() == data) << "store.out differs from the job's data";
    EXPECT_TRUE(QueueEmpty("tostore"));
}

TEST_F(LprngLpd, HeldJobKeepsTheControlFileLinesAndComesFromAReservedPort) {
    const std::string data = Bytes(5000, 2);
    SendJob("tohold", 42, Control(42, "bob", "quarterly"), data);
    ASSERT_TRUE(lpd_.WaitForHeldJobs(1)) << lpd_.Output();
    // lpd writes the job file while it receives the job and rewrites it afterwards: take a
    // complete reading.
    PrivateLprngLpd::HeldJob job;
    ASSERT_TRUE(WaitUntil([&] {
        job = lpd_.HeldJobs()[0];
        for (const char* field : {"H", "P", "J", "remoteport"}) {
            if (job.fields.count(field) == 0) {
                return false;
            }
        }
        return job.dataFiles.size() == 1 && job.dataFiles.begin()->second.size() == data.size();
    })) << lpd_.Output();
    EXPECT_EQ(job.fields.at("H"), "localhost");
    EXPECT_EQ(job.fields.at("P"), "bob");
    EXPECT_EQ(job.fields.at("J"), "quarterly");
    EXPECT_EQ(job.dataFiles.size(), 1u);
    EXPECT_TRUE(job.dataFiles.begin()->second == data);
    if (::geteuid() == 0) {
        const long port = std::strtol(job.fields.at("remoteport").c_str(), nullptr, 0);
        EXPECT_GE(port, 722);
        EXPECT_LE(port, 731);
    }
    EXPECT_TRUE(QueueEmpty("tohold"));
}

// Each job ends with our side closing first, which keeps its local port in TIME_WAIT for a
// minute: jobs beyond the ten reserved ports must still go through.
TEST_F(LprngLpd, MoreJobsThanReservedPortsAllArrive) {
    constexpr int kJobs = 11;
    std::string expected;
    for (int i = 0; i < kJobs; ++i) {
        const std::string data = "job " + std::to_string(i) + " " + Bytes(100, i) + "\n";
        SendJob("tostore", 100 + i, Control(100 + i, "carol", "job" + std::to_string(i)), data);
        expected += data;
    }
    ASSERT_TRUE(lpd_.WaitForStoreOutput(expected.size(), seconds(60))) << lpd_.Output();
    EXPECT_TRUE(lpd_.StoreOutput() == expected);
    EXPECT_TRUE(QueueEmpty("tostore"));
}

}  // namespace
}  // namespace pg::test
