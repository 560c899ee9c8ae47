#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pg {

// One receive-job subcommand line as the reception reads it: the code byte, then the count and
// the name. The count is the word that starts at the second byte, the name the word that starts
// one byte after the count's last character (exactly one separator is skipped, so two blanks
// give an empty name). Each word holds at most 255 characters.
struct SubcommandLine {
    static constexpr size_t kTokenMax = 256;  // CopyToken's max: 255 characters and the end

    char code = 0;
    std::string countText;
    std::string name;
    // The count's value: an optional sign, then the leading digits ("12x" is 12, "x" is 0).
    int32_t count = 0;
    // The digits do not fit a signed 32-bit number. A positive overflow ("999999999999") is how
    // clients that do not count their bytes announce a data file that ends when they close
    // the connection; count then holds INT32_MAX (INT32_MIN for a negative overflow).
    bool countOverflow = false;

    static SubcommandLine Parse(std::string_view line);
    // The count rule alone, for a count word.
    static int32_t ParseCount(std::string_view text, bool& overflow);

    // A data file of unknown length: written until the client closes the connection.
    bool UntilClose() const { return countOverflow && count > 0; }
};

}  // namespace pg
