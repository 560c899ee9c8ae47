#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace pg {

class ClientConnection;

// Frames the byte stream of a receive-job command into subcommand lines and file content.
//
// Lines end at their line feed. A line that arrives in several reads is assembled; bytes that
// follow a line in the same read are kept for what comes next (the file's content or the next
// line), so a client that sends a subcommand line, the content and the terminating zero in one
// write loses nothing. A line of more than 4096 bytes without a line feed is cut: its first
// 4096 bytes are taken as the line and the rest is read as what follows.
//
// What counts as "a read" once bytes are buffered: content is taken by ReadSome(), and a
// ReadSome() served from the buffer returns everything buffered (up to the caller's size) as one
// read; only an empty buffer makes it read the connection, once. So a client that sends a single
// abort byte (or the lone zero that completes a control file) in a write of its own is seen as
// a one-byte read, as it would be without the buffer, while bytes that came in one packet with
// the subcommand line are one read together.
//
// Memory stays bounded: at most one line (4096 bytes) and one read of the source are buffered.
class SubcommandReader {
  public:
    static constexpr size_t kMaxLine = 4096;
    static constexpr size_t kReadSize = 4096;

    // One read of at most n bytes: > 0 bytes read, 0 closed (or silent too long), -1 error.
    using Source = std::function<ssize_t(char* buffer, size_t n)>;

    explicit SubcommandReader(Source source);
    explicit SubcommandReader(ClientConnection& connection);

    enum class Status { Line, Closed, Error };

    // The next subcommand line with its line feed (none when it was cut at 4096 bytes or the
    // client closed after a partial line: the partial line is delivered first, the close with
    // the next call). Closed and Error leave line empty.
    Status ReadLine(std::string& line);

    // One read of content, at most n bytes: the buffered bytes when there are any, else one
    // read of the source. Returns the source's answer (0 closed, -1 error) when nothing was
    // buffered.
    ssize_t ReadSome(char* buffer, size_t n);

    // Puts bytes that were read but are not the caller's back in front of the stream (the
    // bytes of a read beyond a file's announced count).
    void PutBack(std::string_view bytes);

    // A file's content has ended at its announced count: the next byte, when it is the
    // terminating zero, is dropped whenever it arrives (with the content or in a later read).
    void ExpectTerminatingZero() { expectZero_ = true; }

    size_t Buffered() const { return buffer_.size(); }

  private:
    // Drops the expected terminating zero when the buffer starts with it; any first byte ends
    // the expectation.
    void DropTerminatingZero();

    Source source_;
    std::string buffer_;  // received, not yet consumed
    bool expectZero_ = false;
};

}  // namespace pg
