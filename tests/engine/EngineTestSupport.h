#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/JobEntry.h"
#include "engine/JobStore.h"
#include "engine/PrintQueue.h"
#include "platform/Mutex.h"
#include "platform/OperatorMessage.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {

// The one-byte replies. An ACK is a zero byte, as is the end of a file's content.
inline const std::string kAck(1, '\0');
inline const std::string kNack(1, '\1');
inline const std::string kZero = kAck;
// The short list of an empty queue lp.
inline const std::string kEmptyList = "lp: \n    No jobs queued\n";

// A receive-job subcommand line: its code, the count, the file's name.
inline std::string Subcommand(char code, const std::string& count, const std::string& name) {
    return std::string(1, code) + count + " " + name + "\n";
}
inline std::string Subcommand(char code, size_t count, const std::string& name) {
    return Subcommand(code, std::to_string(count), name);
}

// A connection to port whose receive-job command for queue has been acknowledged.
inline std::unique_ptr<LoopbackClient> ReceiveJobConnection(uint16_t port,
                                                            const std::string& queue) {
    auto client = std::make_unique<LoopbackClient>(port);
    client->Send("\002" + queue + "\n");
    EXPECT_EQ(client->Receive(1), kAck) << "receive-job command";
    return client;
}
// Sends bytes and expects reply to them.
inline void Step(LoopbackClient& client, const std::string& bytes, const std::string& reply) {
    client.Send(bytes);
    EXPECT_EQ(client.ReceiveExactly(reply.size()), reply)
        << testing::PrintToString(bytes.substr(0, 30));
}
// One file: its subcommand line, then its content and terminating zero, each acknowledged.
inline void SendFile(LoopbackClient& client, char code, const std::string& name,
                     const std::string& content) {
    Step(client, Subcommand(code, content.size(), name), kAck);
    Step(client, content + kZero, kAck);
}

// The steps of one job, each acknowledged: per file its line and its contents. id is the number
// and host of its names ("124vhost").
inline std::vector<std::string> JobSteps(const std::string& id, const std::string& data,
                                         bool controlFirst = true) {
    const std::string control = "H" + id.substr(3) + "\nPann\nJjob\nldfA" + id + "\n";
    std::vector<std::string> steps = {Subcommand('\2', control.size(), "cfA" + id), control + kAck,
                                      Subcommand('\3', data.size(), "dfA" + id), data + kAck};
    if (!controlFirst) {
        std::rotate(steps.begin(), steps.begin() + 2, steps.end());
    }
    return steps;
}
// A whole job over a connection of its own, control file first, ended by the client's close;
// true when the daemon closed too.
inline bool SendJob(uint16_t port, const std::string& queue, const std::string& id,
                    const std::string& data) {
    auto client = ReceiveJobConnection(port, queue);
    for (const std::string& step : JobSteps(id, data)) {
        Step(*client, step, kAck);
    }
    client->ShutdownWrite();
    return client->WaitForClose(std::chrono::seconds(5));
}

// The names in a directory (without those starting with '.'), sorted.
inline std::vector<std::string> Listing(const std::string& directory) {
    std::set<std::string> names;
    std::error_code missing;
    for (const auto& entry : std::filesystem::directory_iterator(directory, missing)) {
        if (entry.path().filename().string()[0] != '.') {
            names.insert(entry.path().filename().string());
        }
    }
    return {names.begin(), names.end()};
}

// Sends one request and returns everything the daemon sent before it closed.
inline std::string Exchange(uint16_t port, const std::string& request, bool* closed = nullptr) {
    LoopbackClient client(port);
    client.Send(request);
    return client.ReceiveUntilClose(std::chrono::seconds(10), closed);
}

// Sends one request and returns the first byte of the reply.
inline std::string FirstReply(uint16_t port, const std::string& request) {
    LoopbackClient client(port);
    client.Send(request);
    return client.ReceiveExactly(1);
}

// The numbers of the queue's jobs in list order, "1 2 3 ".
inline std::string Numbers(const PrintQueue& queue) {
    std::string text;
    for (const auto& job : queue.Jobs()) {
        text += std::to_string(job->jobNo) + " ";
    }
    return text;
}

// How many of the daemon's screen lines hold text.
inline size_t CountScreenLines(const TestDaemon& daemon, const std::string& text) {
    size_t n = 0;
    for (const auto& line : daemon.ScreenLines()) {
        n += line.find(text) != std::string::npos ? 1 : 0;
    }
    return n;
}

// n bytes that run through every byte value, zero, line feed and abort byte included, different
// per seed.
inline std::string Bytes(size_t n, uint32_t seed = 1) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 256 + seed) % 256);
    }
    return bytes;
}

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

// Counts the operator messages for the scope of the object.
class MessageCapture {
  public:
    MessageCapture() {
        OperatorMessage::SetSink([this](void*, const std::string&, const std::string&) {
            MutexLock lock(mutex_);
            ++count_;
        });
    }
    ~MessageCapture() { OperatorMessage::SetSink(nullptr); }
    // The messages since the last call.
    size_t Take() {
        MutexLock lock(mutex_);
        return std::exchange(count_, 0);
    }

  private:
    Mutex mutex_;
    size_t count_ GUARDED_BY(mutex_) = 0;
};

}  // namespace pg::test
