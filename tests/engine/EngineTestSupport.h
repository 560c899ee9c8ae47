#pragma once

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/DeliveryControl.h"
#include "engine/PrintQueue.h"
#include "platform/Mutex.h"
#include "platform/OperatorMessage.h"
#include "tests/engine/EngineTestJobs.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {

// The names in a directory (without those starting with '.'), sorted.
inline std::vector<std::string> Listing(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') {
                names.emplace_back(entry->d_name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Sends one request and returns everything the daemon sent before it closed.
inline std::string Exchange(uint16_t port, const std::string& request, bool* closed = nullptr) {
    LoopbackClient client(port);
    client.Send(request);
    return client.ReceiveUntilClose(std::chrono::seconds(10), closed);
}

// Sends one request and returns the first byte of the reply (the connection then closes).
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

// A delivery's control for a back-end the test runs itself: never paused, never stopped.
class FreeRunning : public DeliveryControl {
  public:
    bool Checkpoint() override { return true; }
    bool StopRequested() const override { return false; }
    bool JobRemoved() const override { return false; }
    bool Sleep(std::chrono::milliseconds duration) override {
        std::this_thread::sleep_for(duration);
        return true;
    }
    void SetSocket(int) override {}
    void SetPrinter(PrinterHandle*) override {}
};

// Collects the operator messages ("title: text") for the scope of the object.
class MessageCapture {
  public:
    MessageCapture() {
        OperatorMessage::SetSink([this](void*, const std::string& title, const std::string& text) {
            MutexLock lock(mutex_);
            messages_.push_back(title + ": " + text);
        });
    }
    ~MessageCapture() { OperatorMessage::SetSink(nullptr); }
    // The messages so far; they are forgotten.
    std::vector<std::string> Take() {
        MutexLock lock(mutex_);
        return std::exchange(messages_, {});
    }

  private:
    Mutex mutex_;
    std::vector<std::string> messages_ GUARDED_BY(mutex_);
};

}  // namespace pg::test
