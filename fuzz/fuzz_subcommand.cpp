// Feeds arbitrary bytes, in pieces of arbitrary sizes, through the receive-job framing and the
// subcommand-line reader the way a reception consumes them: lines, each line's count and name,
// the content a count announces (with the abort byte and the lone zero that end it early, the
// bytes beyond the count put back, and the terminating zero expected after it), and content
// read until the close when the count does not fit 32 bits.
//
// Aborts when a line or a word is longer than its limit, when the framing keeps more than a
// bounded number of bytes, or when bytes are lost or invented: everything fed in is either
// consumed as a line or as content, dropped as a terminating zero that was expected, or still
// buffered.

#include <sys/types.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/SubcommandLine.h"
#include "engine/SubcommandReader.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

constexpr size_t kContentRead = 8192;
// One line, one read of the source while a line is assembled, and one content read put back.
constexpr size_t kBufferBound =
    pg::SubcommandReader::kMaxLine + pg::SubcommandReader::kReadSize + kContentRead;

// The input, handed out in pieces whose sizes come from the input's first bytes.
class Feed {
  public:
    Feed(const uint8_t* data, size_t size) {
        const size_t header = size < 4 ? size : 4;
        for (size_t i = 0; i < header; ++i) {
            seed_ = seed_ * 131 + data[i];
        }
        data_ = data + header;
        size_ = size - header;
    }

    ssize_t Read(char* buffer, size_t n) {
        if (position_ >= size_) {
            return 0;  // the client has closed
        }
        seed_ = seed_ * 1103515245u + 12345u;
        size_t piece = 1 + (seed_ >> 8) % 700;
        if ((seed_ & 0xf) == 0) {
            piece = 1;  // lone bytes: abort bytes and zeros as reads of their own
        }
        piece = std::min({piece, n, size_ - position_});
        std::copy(data_ + position_, data_ + position_ + piece, buffer);
        position_ += piece;
        return static_cast<ssize_t>(piece);
    }

    size_t Fed() const { return position_; }

  private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t position_ = 0;
    uint32_t seed_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Feed feed(data, size);
    pg::SubcommandReader reader([&feed](char* buffer, size_t n) { return feed.Read(buffer, n); });
    static char content[kContentRead];
    size_t consumed = 0;
    size_t zerosExpected = 0;

    std::string text;
    while (reader.ReadLine(text) == pg::SubcommandReader::Status::Line) {
        Check(!text.empty() && text.size() <= pg::SubcommandReader::kMaxLine);
        Check(text.find('\n') == std::string::npos || text.find('\n') == text.size() - 1);
        consumed += text.size();
        Check(reader.Buffered() <= kBufferBound);

        const pg::SubcommandLine line = pg::SubcommandLine::Parse(text);
        Check(line.countText.size() <= 255 && line.name.size() <= 255);
        Check(!line.countOverflow || line.countText.size() >= 10);
        if (line.code != 2 && line.code != 3) {
            continue;
        }
        if (line.UntilClose() && line.code == 3) {
            ssize_t got;
            while ((got = reader.ReadSome(content, sizeof content)) > 0) {
                consumed += static_cast<size_t>(got);
            }
            continue;
        }
        if (line.count < 0) {
            continue;
        }
        int64_t received = 0;
        bool complete = true;
        while (received < line.count) {
            const ssize_t got = reader.ReadSome(content, sizeof content);
            if (got <= 0) {
                complete = false;
                break;
            }
            Check(static_cast<size_t>(got) <= sizeof content);
            if (got == 1 && (content[0] == '\1' || (line.code == 2 && content[0] == '\0'))) {
                consumed += 1;
                complete = false;
                break;
            }
            const int64_t use = std::min<int64_t>(got, line.count - received);
            if (use < got) {
                reader.PutBack(std::string_view(content + use, static_cast<size_t>(got - use)));
            }
            consumed += static_cast<size_t>(use);
            received += use;
            Check(reader.Buffered() <= kBufferBound);
        }
        if (complete) {
            reader.ExpectTerminatingZero();
            ++zerosExpected;
        }
    }
    // Every byte fed in is accounted for.
    Check(consumed + reader.Buffered() <= feed.Fed());
    Check(feed.Fed() - consumed - reader.Buffered() <= zerosExpected);
    return 0;
}
