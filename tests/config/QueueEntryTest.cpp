#include "config/QueueEntry.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace pg {
namespace {

using test::TempDir;
using test::WriteFile;

class QueueEntryTest : public ::testing::Test {
  protected:
    std::vector<QueueEntry> ReadQueues(const std::string& text) {
        WriteFile(path_, text);
        return ReadQueueEntries(file_);
    }

    TempDir dir_{"pgconfig"};
    std::string path_ = dir_ / "pgate.ini";
    ProfileFile file_{path_};
};

TEST_F(QueueEntryTest, DottedHostsMakeRemoteQueuesAndDotlessOnesLocalQueues) {
    const std::vector<QueueEntry> queues = ReadQueues(
        "[Print Queues]\r\n"
        "local1 = P1 ,,, Print in local/LAN printer - P1 \r\n"
        "; skipped=Q,10.0.0.1,515,x\r\n"
        "remote1=Q, 10.1.2.3 , 515 ,Remote text\r\n"
        "plain=Q,hostname,515,text\r\n"
        "\r\n"
        "[Logging]\r\nLogLevel=1\r\n");
    ASSERT_EQ(queues.size(), 3u);
    EXPECT_EQ(queues[0].name, "local1");
    EXPECT_EQ(queues[0].destination, "P1");
    EXPECT_FALSE(queues[0].isRemote);
    EXPECT_EQ(queues[0].remoteHost, "");
    EXPECT_EQ(queues[0].remotePort, 0);
    EXPECT_EQ(queues[0].statusText, "Print in local/LAN printer - P1");

    EXPECT_EQ(queues[1].name, "remote1");
    EXPECT_EQ(queues[1].destination, "Q");
    EXPECT_TRUE(queues[1].isRemote);
    EXPECT_EQ(queues[1].remoteHost, " 10.1.2.3 ");  // the host is taken as written
    EXPECT_EQ(queues[1].remotePort, 515);
    EXPECT_EQ(queues[1].statusText, "Remote text");

    // A plain host name has no dot: a local queue on printer Q, port and host dropped.
    EXPECT_EQ(queues[2].name, "plain");
    EXPECT_EQ(queues[2].destination, "Q");
    EXPECT_FALSE(queues[2].isRemote);
    EXPECT_EQ(queues[2].remoteHost, "");
    EXPECT_EQ(queues[2].remotePort, 0);
}

TEST_F(QueueEntryTest, FormFeedComesFromTheQueuesOwnSection) {
    const std::vector<QueueEntry> queues = ReadQueues(
        "[Print Queues]\r\na=P,,,t\r\nb=P,,,t\r\nc=P,,,t\r\nd=P,,,t\r\ne=P,,,t\r\n"
        "[A]\r\nFormFeedAtEndOfJob=YES\r\n"
        "[b]\r\nformfeedatendofjob=y\r\n"
        "[c]\r\nFormFeedAtEndOfJob=no\r\n"
        "[d]\r\nFormFeedAtEndOfJob=1\r\n");
    ASSERT_EQ(queues.size(), 5u);
    EXPECT_TRUE(queues[0].formFeedAtEndOfJob);
    EXPECT_TRUE(queues[1].formFeedAtEndOfJob);
    EXPECT_FALSE(queues[2].formFeedAtEndOfJob);
    EXPECT_FALSE(queues[3].formFeedAtEndOfJob);
    EXPECT_FALSE(queues[4].formFeedAtEndOfJob);  // absent: no form feed
}

TEST_F(QueueEntryTest, IncompleteLinesAreReadAsDocumented) {
    const std::vector<QueueEntry> queues = ReadQueues(
        "[Print Queues]\r\n"
        "no equals sign\r\n"
        " = P,,,nameless\r\n"
        "short=P\r\n"
        "two=Q,1.2.3.4\r\n"
        "commas=P,,,one, two, three\r\n");
    ASSERT_EQ(queues.size(), 3u);
    EXPECT_EQ(queues[0].name, "short");
    EXPECT_EQ(queues[0].destination, "P");
    EXPECT_FALSE(queues[0].isRemote);
    EXPECT_EQ(queues[0].statusText, "");
    EXPECT_EQ(queues[1].name, "two");
    EXPECT_TRUE(queues[1].isRemote);
    EXPECT_EQ(queues[1].remoteHost, "1.2.3.4");
    EXPECT_EQ(queues[1].remotePort, 0);
    EXPECT_EQ(queues[1].statusText, "");
    EXPECT_EQ(queues[2].statusText, "one, two, three");  // free text keeps its commas
}

TEST_F(QueueEntryTest, PortsTakeLeadingDigitsIntoSixteenBits) {
    const std::vector<QueueEntry> queues = ReadQueues(
        "[Print Queues]\r\n"
        "a=Q,h.x,515abc,t\r\nb=Q,h.x,70000,t\r\nc=Q,h.x,-1,t\r\nd=Q,h.x,port,t\r\n"
        "e=Q,h.x,65535,t\r\n");
    ASSERT_EQ(queues.size(), 5u);
    EXPECT_EQ(queues[0].remotePort, 515);
    EXPECT_EQ(queues[1].remotePort, 70000 - 65536);
    EXPECT_EQ(queues[2].remotePort, 65535);
    EXPECT_EQ(queues[3].remotePort, 0);
    EXPECT_EQ(queues[4].remotePort, 65535);
}

TEST_F(QueueEntryTest, OnlyWhatTheSectionBufferHoldsIsLoaded) {
    // Lines "qNN=P,,,xxxxxxxxxx" take 19 bytes with their zeros; 53 take 1007, and the 54th
    // fits only its first 1022 - 1007 = 15 bytes, which still make a queue.
    std::string text = "[Print Queues]\r\n";
    for (int i = 0; i < 60; ++i) {
        text += "q" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "=P,,,xxxxxxxxxx\r\n";
    }
    const std::vector<QueueEntry> queues = ReadQueues(text);
    ASSERT_EQ(queues.size(), 54u);
    EXPECT_EQ(queues.front().name, "q00");
    EXPECT_EQ(queues[52].statusText, "xxxxxxxxxx");
    EXPECT_EQ(queues.back().name, "q53");
    EXPECT_EQ(queues.back().statusText, "xxxxxxx");
}

TEST_F(QueueEntryTest, MissingFileOrSectionGivesNoQueues) {
    EXPECT_TRUE(ReadQueueEntries(file_).empty());
    EXPECT_TRUE(ReadQueues("[Logging]\r\nLogLevel=1\r\n").empty());
}

TEST_F(QueueEntryTest, WrittenValues) {
    QueueEntry local;
    local.name = "lp";
    local.destination = "P";
    local.statusText = "my text";
    EXPECT_EQ(AddedEntryValue(local), "P,,,my text");
    EXPECT_EQ(UpdatedEntryValue(local), "P,,,Print in local/LAN printer - P");

    QueueEntry remote;
    remote.name = "rq";
    remote.destination = "Q";
    remote.remoteHost = "10.1.2.3";
    remote.remotePort = 515;
    remote.isRemote = true;
    remote.statusText = "ignored by the update";
    EXPECT_EQ(AddedEntryValue(remote), "Q,10.1.2.3,515,ignored by the update");
    EXPECT_EQ(UpdatedEntryValue(remote), "Q,10.1.2.3,515,Print in remote LPD printer - Q@10.1.2.3");

    // A host that did not make the queue remote is written back, without its port.
    QueueEntry hostButLocal = remote;
    hostButLocal.isRemote = false;
    EXPECT_EQ(UpdatedEntryValue(hostButLocal), "Q,10.1.2.3,,Print in local/LAN printer - Q");
}

TEST_F(QueueEntryTest, WrittenEntriesReadBack) {
    QueueEntry remote;
    remote.name = "rq";
    remote.destination = "Q";
    remote.remoteHost = "printer.example";
    remote.remotePort = 40000;
    remote.isRemote = true;
    QueueEntry local;
    local.name = "lp";
    local.destination = "P";
    local.statusText = "added";
    ASSERT_TRUE(file_.WriteString("Print Queues", remote.name, UpdatedEntryValue(remote)));
    ASSERT_TRUE(file_.WriteString(remote.name, "FormFeedAtEndOfJob", "yes"));
    ASSERT_TRUE(file_.WriteString("Print Queues", local.name, AddedEntryValue(local)));
    const std::vector<QueueEntry> queues = ReadQueueEntries(file_);
    ASSERT_EQ(queues.size(), 2u);
    EXPECT_EQ(queues[0].name, "rq");
    EXPECT_TRUE(queues[0].isRemote);
    EXPECT_EQ(queues[0].remoteHost, "printer.example");
    EXPECT_EQ(queues[0].remotePort, 40000);
    EXPECT_EQ(queues[0].statusText, "Print in remote LPD printer - Q@printer.example");
    EXPECT_TRUE(queues[0].formFeedAtEndOfJob);
    EXPECT_EQ(queues[1].name, "lp");
    EXPECT_EQ(queues[1].destination, "P");
    EXPECT_EQ(queues[1].statusText, "added");
    EXPECT_FALSE(queues[1].formFeedAtEndOfJob);
}

}  // namespace
}  // namespace pg
