#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

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
// Content is taken by ReadSome() in whatever amounts the caller asks for: the reception asks
// for no more than the announced count still missing, so how the bytes were cut into reads on
// the way never matters (a lone 0x01 or 0x00 inside a count is content like any other byte).
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

    // At most n bytes: the buffered bytes when there are any, else one read of the source.
    // Returns the source's answer (0 closed, -1 error) when nothing was buffered.
    ssize_t ReadSome(char* buffer, size_t n);

    size_t Buffered() const { return buffer_.size(); }

  private:
    Source source_;
    std::string buffer_;  // received, not yet consumed
};

}  // namespace pg
