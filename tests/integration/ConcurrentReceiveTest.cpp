// Receptions running at the same time as each other, as job-list requests and as a removal
// of the job being received: nothing is lost, nothing is mixed up, nothing crashes.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/PrintQueue.h"
#include "tests/engine/EngineTestSupport.h"

namespace pg::test {
namespace {

using std::chrono::seconds;

const std::string kZero(1, '\0');  // also the ACK

std::string Line(char code, size_t count, const std::string& name) {
    return std::string(1, code) + std::to_string(count) + " " + name + "\n";
}

// One job under the names cfA001host, dfA001host, dfB001host, ..., control file first, all of
// it sent at once; true when every step was acknowledged.
bool SendJob(uint16_t port, const std::string& jobName, const std::vector<std::string>& data) {
    LoopbackClient client(port);
    std::string control = "Hhost\nPuser\nJ" + jobName + "\n";
    std::string files;
    for (size_t i = 0; i < data.size(); ++i) {
        const std::string name = std::string("df") + static_cast<char>('A' + i) + "001host";
        control += "l" + name + "\n";
        files += Line('\3', data[i].size(), name) + data[i] + kZero;
    }
    client.Send("\002lp\n" + Line('\2', control.size(), "cfA001host") + control + kZero + files);
    const size_t acks = 3 + 2 * data.size();
    return client.ReceiveExactly(acks, seconds(30)) == std::string(acks, '\0');
}

class ConcurrentReceive : public ::testing::Test {
  protected:
    ConcurrentReceive() : daemon_(TestConfig().AddLocalQueue("lp")) {}
    std::shared_ptr<PrintQueue> Queue() { return daemon_.Spooler().FindQueueIgnoringCase("lp"); }

    TestDaemon daemon_;
};

// Two clients that give their jobs the same names at the same time get two documents, each with
// its own bytes (binary, so printed unchanged), while job lists are asked for all along.
TEST_F(ConcurrentReceive, TwoClientsWithTheSameNamesAndJobListsAtOnce) {
    const std::vector<std::string> first = {Bytes(2 << 20, 1), Bytes(700000, 2)};
    const std::vector<std::string> second = {Bytes(3 << 20, 4), Bytes(65536, 5)};
    bool firstSent = false, secondSent = false;
    std::atomic<bool> sending{true};
    std::atomic<int> lists{0}, badLists{0};
    std::thread lister([&] {
        while (sending.load()) {
            LoopbackClient client(daemon_.Port());
            client.Send(lists.load() % 2 ? "\003lp\n" : "\004lp\n");
            badLists += client.ReceiveUntilClose(seconds(10)).rfind("lp: \n", 0) != 0 ? 1 : 0;
            ++lists;
        }
    });
    std::thread a([&] { firstSent = SendJob(daemon_.Port(), "first", first); });
    std::thread b([&] { secondSent = SendJob(daemon_.Port(), "second", second); });
    a.join();
    b.join();
    sending.store(false);
    lister.join();

    EXPECT_TRUE(firstSent);
    EXPECT_TRUE(secondSent);
    EXPECT_GT(lists.load(), 0);
    EXPECT_EQ(badLists.load(), 0);
    ASSERT_TRUE(WaitUntil([&] { return Queue()->JobCount() == 0; }, seconds(20)));
    std::vector<std::string> printed;
    for (const std::string& name : Listing(daemon_.PrinterPath("lp"))) {
        printed.push_back(ReadFile(daemon_.PrinterPath("lp") + "/" + name));
    }
    std::sort(printed.begin(), printed.end());
    std::vector<std::string> expected = {first[0] + first[1], second[0] + second[1]};
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(printed == expected) << printed.size() << " documents";
}

// A remove-jobs request takes the job away while its data file is still arriving: the
// reception goes on to the end of the file without its job and leaves nothing behind.
TEST_F(ConcurrentReceive, JobRemovedWhileItsDataArrive) {
    LoopbackClient client(daemon_.Port());
    const std::string control = "Hhost\nPann\nJjob\nldfA303host\n";
    const std::string data = Bytes(1 << 20, 6);
    client.Send("\002lp\n" + Line('\2', control.size(), "cfA303host") + control + kZero +
                Line('\3', data.size(), "dfA303host") + data.substr(0, 500000));
    ASSERT_EQ(client.ReceiveExactly(4), std::string(4, '\0'));
    ASSERT_TRUE(WaitUntil([&] {
        auto jobs = Queue()->Jobs();
        return jobs.size() == 1 && jobs[0]->progress.bytesDone.load() >= 500000;
    }));

    LoopbackClient remover(daemon_.Port());
    remover.Send("\005lp root 303\n");
    EXPECT_TRUE(remover.WaitForClose(seconds(5)));
    EXPECT_EQ(Queue()->JobCount(), 0u);

    client.Send(data.substr(500000) + kZero);
    EXPECT_EQ(client.Receive(1), kZero);
    client.ShutdownWrite();
    EXPECT_TRUE(client.WaitForClose(seconds(5)));
    EXPECT_TRUE(daemon_.WaitForScreenLine("filename(cfA303host).  removed while it was received"));
    EXPECT_TRUE(Listing(daemon_.SpoolDirectory("lp")).empty());
    EXPECT_TRUE(Listing(daemon_.PrinterPath("lp")).empty());
}

}  // namespace
}  // namespace pg::test
