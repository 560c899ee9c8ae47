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
    try {
        entry->thread = std::jthread([self, fd, body = std::move(body)](std::stop_token token) {
            body(fd, token);
            MutexLock done(self->mutex);
            self->socket.Reset();
            self->done = true;
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
    size_t active = 0;
    for (const auto& entry : entries_) {
        Held(*entry);
        active += entry->done ? 0 : 1;
    }
    return active;
}

}  // namespace pg
