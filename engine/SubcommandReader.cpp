#include "engine/SubcommandReader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/ClientConnection.h"

namespace pg {

SubcommandReader::SubcommandReader(Source source) : source_(std::move(source)) {}

SubcommandReader::SubcommandReader(ClientConnection& connection)
    : source_([&connection](char* buffer, size_t n) { return connection.Receive(buffer, n); }) {}

SubcommandReader::Status SubcommandReader::ReadLine(std::string& line) {
    line.clear();
    char chunk[kReadSize];
    for (;;) {
        const size_t end = buffer_.find('\n');
        if (end != std::string::npos && end < kMaxLine) {
            line.assign(buffer_, 0, end + 1);
            buffer_.erase(0, end + 1);
            return Status::Line;
        }
        if (buffer_.size() >= kMaxLine) {
            line.assign(buffer_, 0, kMaxLine);
            buffer_.erase(0, kMaxLine);
            return Status::Line;
        }
        const ssize_t got = source_(chunk, sizeof chunk);
        if (got < 0) {
            return Status::Error;
        }
        if (got == 0) {
            if (buffer_.empty()) {
                return Status::Closed;
            }
            line.swap(buffer_);
            buffer_.clear();
            return Status::Line;
        }
        buffer_.append(chunk, static_cast<size_t>(got));
    }
}

ssize_t SubcommandReader::ReadSome(char* buffer, size_t n) {
    if (n == 0) {
        return 0;
    }
    if (buffer_.empty()) {
        return source_(buffer, n);
    }
    const size_t take = std::min(n, buffer_.size());
    std::memcpy(buffer, buffer_.data(), take);
    buffer_.erase(0, take);
    return static_cast<ssize_t>(take);
}

}  // namespace pg
