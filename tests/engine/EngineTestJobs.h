#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/JobStore.h"
#include "engine/PrintQueue.h"

namespace pg::test {

// A complete job in the queue's job store and list, as a reception leaves it: job jobNo of user
// from host, named report.txt, its control file (with the extra lines given) naming one data
// file per content, "dfA<nnn><host>", "dfB<nnn><host>", ... Without contents: one data file
// "data of job <jobNo>\n". arrivalTime 0: now. The job came from origin, port 721.
inline std::shared_ptr<JobEntry> StoreJob(PrintQueue& queue, int jobNo, const std::string& user,
                                          const std::string& host = "pc1",
                                          std::vector<std::string> contents = {},
                                          const std::string& extraLines = "",
                                          int64_t arrivalTime = 0,
                                          const std::string& origin = "127.0.0.1") {
    if (contents.empty()) {
        contents.push_back("data of job " + std::to_string(jobNo) + "\n");
    }
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", jobNo);
    std::shared_ptr<JobStore> store = queue.Store();
    JobRecord record;
    record.id = store->NewId();
    record.arrivalTime = arrivalTime;
    record.timeDate = "12:00:00 12/05/26";
    record.origin = PeerAddress::Parse(origin, 721);
    std::string control = "H" + host + "\nP" + user + "\nJreport.txt\n" + extraLines;
    auto write = [&](const std::string& storeName, const std::string& content) {
        int error = 0;
        UniqueFd fd = store->Create(storeName, error);
        (void)!::write(fd.Get(), content.data(), content.size());
    };
    for (size_t i = 0; i < contents.size(); ++i) {
        StoredFile file{JobStore::DataName(record.id, static_cast<uint32_t>(i + 1)),
                        std::string("df") + static_cast<char>('A' + i) + digits + host,
                        contents[i].size()};
        write(file.storeName, contents[i]);
        control += "l" + file.clientName + "\n";
        record.data.push_back(file);
    }
    record.control = {JobStore::ControlName(record.id), std::string("cfA") + digits + host,
                      control.size()};
    write(record.control.storeName, control);
    int error = 0;
    store->Commit(record, error);
    auto job = JobEntry::Make(record, control, false);
    job->SetState(JobState::Waiting);
    queue.AddJob(job);
    return job;
}

// How many of the job's files (its manifest included) are in its queue's store.
inline size_t JobFileCount(PrintQueue& queue, const JobEntry& job) {
    std::vector<std::string> names = JobStore::FileNames(job.record);
    names.push_back(std::to_string(job.record.id) + ".job");
    size_t present = 0;
    for (const std::string& name : names) {
        present += ::access(queue.Store()->PathOf(name).c_str(), F_OK) == 0 ? 1 : 0;
    }
    return present;
}

}  // namespace pg::test
