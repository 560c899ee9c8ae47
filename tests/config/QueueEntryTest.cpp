#include "config/QueueEntry.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace pg {
namespace {

using test::TempDir;
using test::WriteFile;

// "name|destination|host|port|R or L|status|ff or -"
std::vector<std::string> Describe(const std::vector<QueueEntry>& queues) {
    std::vector<std::string> out;
    for (const QueueEntry& q : queues) {
        out.push_back(q.name + "|" + q.destination + "|" + q.remoteHost + "|" +
                      std::to_string(q.remotePort) + "|" + (q.isRemote ? "R" : "L") + "|" +
                      q.statusText + "|" + (q.formFeedAtEndOfJob ? "ff" : "-"));
    }
    return out;
}

class QueueEntryTest : public ::testing::Test {
  protected:
    std::vector<std::string> ReadQueues(const std::string& text) {
        WriteFile(dir_ / "pgate.ini", text);
        return Describe(ReadQueueEntries(file_));
    }

    TempDir dir_{"pgconfig"};
    ProfileFile file_{dir_ / "pgate.ini"};
};

TEST_F(QueueEntryTest, EntriesAreReadByTheReadingRules) {
    EXPECT_TRUE(ReadQueueEntries(file_).empty());
    EXPECT_TRUE(ReadQueues("[Logging]\r\nLogLevel=1\r\n").empty());
    // Lines without "=" and entries with an empty name make no queue; missing fields read as
    // empty; the status text keeps its own commas.
    EXPECT_EQ(ReadQueues("[Print Queues]\r\n"
                         "local1 = P1 ,,, Print in local/LAN printer - P1 \r\n"
                         "; skipped=Q,10.0.0.1,515,x\r\n"
                         "remote1=Q, 10.1.2.3 , 515 ,Remote text\r\n"
                         "plain=Q,hostname,515,text\r\n"
                         "no equals sign\r\n"
                         " = P,,,nameless\r\n"
                         "short=P\r\n"
                         "two=Q,1.2.3.4\r\n"
                         "commas=P,,,one, two, three\r\n"
                         "p1=Q,h.x,515abc,t\r\np2=Q,h.x,70000,t\r\np3=Q,h.x,-1,t\r\n"
                         "p4=Q,h.x,port,t\r\n"
                         "\r\n"
                         "[LOCAL1]\r\nFormFeedAtEndOfJob=YES\r\n"
                         "[remote1]\r\nformfeedatendofjob=y\r\n"
                         "[plain]\r\nFormFeedAtEndOfJob=no\r\n"
                         "[short]\r\nFormFeedAtEndOfJob=1\r\n"),
              (std::vector<std::string>{
                  "local1|P1||0|L|Print in local/LAN printer - P1|ff",
                  "remote1|Q| 10.1.2.3 |515|R|Remote text|ff",  // the host as written
                  "plain|Q||0|L|text|-",  // no dot: a local queue, host and port dropped
                  "short|P||0|L||-", "two|Q|1.2.3.4|0|R||-", "commas|P||0|L|one, two, three|-",
                  "p1|Q|h.x|515|R|t|-",
                  "p2|Q|h.x|4464|R|t|-",  // 70000 in 16 bits
                  "p3|Q|h.x|65535|R|t|-", "p4|Q|h.x|0|R|t|-"}));
}

TEST_F(QueueEntryTest, WrittenValuesReadBack) {
    // The added value keeps the queue's own status text; the updated one makes it from the
    // destination, and writes back a host that did not make the queue remote, without a port.
    const QueueEntry local{"lp", "P", "", 0, false, "my text", false};
    const QueueEntry remote{"rq", "Q", "printer.example", 40000, true, "ignored", false};
    const QueueEntry hostButLocal{"hl", "Q", "10.1.2.3", 515, false, "x", false};
    EXPECT_EQ(UpdatedEntryValue(hostButLocal), "Q,10.1.2.3,,Print in local/LAN printer - Q");
    ASSERT_TRUE(file_.WriteString("Print Queues", remote.name, UpdatedEntryValue(remote)));
    ASSERT_TRUE(file_.WriteString(remote.name, "FormFeedAtEndOfJob", "yes"));
    ASSERT_TRUE(file_.WriteString("Print Queues", local.name, AddedEntryValue(local)));
    ASSERT_TRUE(file_.WriteString("Print Queues", "added", AddedEntryValue(remote)));
    EXPECT_EQ(Describe(ReadQueueEntries(file_)),
              (std::vector<std::string>{
                  "rq|Q|printer.example|40000|R|Print in remote LPD printer - Q@printer.example|ff",
                  "lp|P||0|L|my text|-", "added|Q|printer.example|40000|R|ignored|-"}));
}

}  // namespace
}  // namespace pg
