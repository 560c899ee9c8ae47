#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pg {

// True for the separators of LPD command lines and control files: blank, tab, line feed,
// vertical tab, form feed, carriage return.
bool IsLpdSpace(char c);

// The decimal number formed by the leading digits ("12x" is 12; none is 0), at most INT32_MAX.
int32_t LeadingNumber(std::string_view text);
// Whether the text starts with a decimal digit: a job number rather than a user name.
bool StartsWithDigit(std::string_view text);

// Copies the word that starts at source[0]: up to the first separator, the end of the data, or
// max - 1 characters, whichever comes first. Returns the number of characters taken (the length
// of the word), so the next word starts at that length + 1: exactly one separator is skipped
// and two separators in a row give an empty word.
size_t CopyToken(std::string_view source, std::string& destination, size_t max);

// The words of an LPD command line after its code byte, as the connection handler splits it:
// each word at most max - 1 characters, the next starting one character after the end of the
// previous (so a cut word loses one character). Missing words are empty.
class TokenReader {
  public:
    explicit TokenReader(std::string_view text) : text_(text) {}
    // The next word, at most max - 1 characters.
    std::string Next(size_t max);
    // What follows the words taken so far.
    std::string_view Rest() const;

  private:
    std::string_view text_;
    size_t position_ = 0;
};

}  // namespace pg
