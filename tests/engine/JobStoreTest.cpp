// The job store on its own: what start-up takes back from a spool directory and what it
// removes, and the manifest's round trip with hostile client names.

#include <gtest/gtest.h>

#include "tests/engine/EngineTestSupport.h"

namespace pg::test {
namespace {

// A job of id in store with one data file; committed unless told otherwise.
JobRecord Put(JobStore& store, uint64_t id, const std::string& data, bool commit = true) {
    JobRecord record;
    record.id = id;
    record.control = {JobStore::ControlName(id), "cfA001h", 6};
    record.data = {{JobStore::DataName(id, 1), "dfA001h", data.size()}};
    WriteFile(store.PathOf(record.control.storeName), "Hhost\n");
    WriteFile(store.PathOf(record.data[0].storeName), data);
    int error = 0;
    if (commit) {
        EXPECT_TRUE(store.Commit(record, error)) << error;
    }
    return record;
}

TEST(JobStore, StartUpTakesBackCompleteJobsInArrivalOrderAndRemovesEverythingElse) {
    TempDir dir;
    {
        JobStore store("lp", dir.Path(), true);
        store.Recover();
        const JobRecord late = Put(store, 9, "late");  // committed first, id higher
        Put(store, 3, "early");
        Put(store, 4, "no manifest", false);
        Put(store, 5, "truncated later");
        ASSERT_EQ(::truncate(store.PathOf("5.d1").c_str(), 3), 0);
        Put(store, 6, "data file gone");
        ::unlink(store.PathOf("6.d1").c_str());
        WriteFile(store.PathOf("9.d2"), "not named by job 9");
        WriteFile(store.PathOf("9.new"), "half a manifest");
        WriteFile(store.PathOf("7.job"), "pressgate-job 1\nid 7\n");  // cut short
        WriteFile(store.PathOf("cfA123host"), "a client's name");
        WriteFile(store.PathOf("12.txt"), "not a store name");
        EXPECT_EQ(late.sequence, 1u);
    }
    JobStore store("lp", dir.Path(), false);
    const std::vector<JobRecord> jobs = store.Recover();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].id, 9u);
    EXPECT_EQ(jobs[1].id, 3u);
    EXPECT_EQ(Listing(dir.Path()),
              (std::vector<std::string>{"3.cf", "3.d1", "3.job", "9.cf", "9.d1", "9.job"}));
    EXPECT_GT(store.NewId(), 9u);  // never an id a job in the store has had
}

TEST(JobStore, ManifestKeepsHostileClientTextExactly) {
    JobRecord record;
    record.id = 42;
    record.sequence = 7;
    record.arrivalTime = 1700000000;
    record.timeDate = "12:00:00 12/05/26";
    record.held = true;
    record.origin = PeerAddress::Parse("2001:db8::1", 731);
    record.control = {"42.cf", "cf A%41\n\x01\xff", 12};
    record.data = {{"42.d2", "../../etc/passwd", 0}, {"42.d1", "%", 5}};
    JobRecord back;
    ASSERT_TRUE(JobStore::ParseManifest(JobStore::ManifestText(record), back));
    EXPECT_EQ(JobStore::ManifestText(back), JobStore::ManifestText(record));
    EXPECT_EQ(back.control.clientName, record.control.clientName);
    EXPECT_EQ(back.data[0].clientName, "../../etc/passwd");
    EXPECT_EQ(back.origin.Text() + " " + std::to_string(back.origin.Port()), "2001:db8::1 731");
    EXPECT_TRUE(back.held);
    // Anything cut short is no manifest.
    const std::string text = JobStore::ManifestText(record);
    for (size_t cut : {text.size() - 1, text.size() - 4, text.size() / 2}) {
        EXPECT_FALSE(JobStore::ParseManifest(text.substr(0, cut), back)) << cut;
    }
}

}  // namespace
}  // namespace pg::test
