#include "engine/ConnectionSet.h"

#include <sys/socket.h>

#include <cassert>
#include <system_error>
#include <vector>

namespace pg {

ConnectionSet::~ConnectionSet() {
    StopAll();
}

void ConnectionSet::Held([[maybe_unused]] const Entry& entry) const {
    assert(&entry.mutex == &mutex_);
}

void ConnectionSet::TakeFinished(std::list<std::unique_ptr<Entry>>& finished) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        auto next = std::next(it);
        Held(**it);
        if ((*it)->done) {
            finished.splice(finished.end(), entries_, it);
        }
        it = next;
    }
}

bool ConnectionSet::Start(UniqueFd socket, Body body) {
    std::list<std::unique_ptr<Entry>> finished;  // joined when this returns, outside the lock
    MutexLock lock(mutex_);
    TakeFinished(finished);
    if (stopping_) {
        return false;
    }
    auto entry = std::make_unique<Entry>(mutex_);
    Entry* self = entry.get();
    Held(*entry);
    const int fd = socket.Get();
    entry->socket = std::move(socket);
    entry->started = Clock::now();
    try {
        entry->thread =
            std::jthread([this, self, fd, body = std::move(body)](std::stop_token token) {
                body(fd, token, self->engaged);
                {
                    MutexLock done(self->mutex);
                    self->socket.Reset();
                    self->done = true;
                }
                finished_.notify_all();
            });
    } catch (const std::system_error&) {
        return false;
    }
    entries_.push_back(std::move(entry));
    return true;
}

void ConnectionSet::StopAll() {
    // Joined outside the lock, which each thread takes as its last step.
    std::vector<std::jthread> threads;
    std::list<std::unique_ptr<Entry>> all;  // freed after the threads have ended
    {
        MutexLock lock(mutex_);
        stopping_ = true;
        for (auto& entry : entries_) {
            Held(*entry);
            entry->thread.request_stop();
            if (entry->socket) {
                ::shutdown(entry->socket.Get(), SHUT_RDWR);
            }
            threads.push_back(std::move(entry->thread));
        }
        all.swap(entries_);
    }
    for (std::jthread& thread : threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

size_t ConnectionSet::Active() const {
    MutexLock lock(mutex_);
    return ActiveLocked();
}

size_t ConnectionSet::ActiveLocked() const {
    size_t active = 0;
    for (const auto& entry : entries_) {
        Held(*entry);
        active += entry->done ? 0 : 1;
    }
    return active;
}

bool ConnectionSet::WaitForRoom(size_t limit, std::stop_token stopToken, Clock::duration timeout) {
    MutexLock lock(mutex_);
    return finished_.wait_for(lock, stopToken, timeout,
                              [this, limit]() REQUIRES(mutex_) { return ActiveLocked() < limit; });
}

bool ConnectionSet::CutLongestIdle(Clock::duration grace) {
    const Clock::time_point latest = Clock::now() - grace;
    MutexLock lock(mutex_);
    Entry* longest = nullptr;
    Clock::time_point longestStarted;
    for (auto& entry : entries_) {
        Held(*entry);
        if (!entry->done && !entry->engaged.load() && entry->socket && entry->started <= latest &&
            (longest == nullptr || entry->started < longestStarted)) {
            longest = entry.get();
            longestStarted = entry->started;
        }
    }
    if (longest == nullptr) {
        return false;
    }
    Held(*longest);
    // Its reads end at once, and so does its wait before closing.
    longest->engaged.store(true);
    longest->thread.request_stop();
    ::shutdown(longest->socket.Get(), SHUT_RDWR);
    return true;
}

}  // namespace pg
