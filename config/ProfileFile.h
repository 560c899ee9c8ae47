#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pg {

// An INI file read and written the way the Windows private-profile calls do it, which is what
// pgate.ini's readers and writers rely on:
//  - "[name]" lines open sections; "key=value" lines give keys; section and key names match
//    without regard to case; white space around keys and values is removed, and a value in
//    matching double quotes loses the quotes;
//  - a value read into a buffer of N bytes is cut to N - 1 characters (255 by default);
//  - writing a key replaces its value, or adds it at the end of its section, creating the
//    section (at the end of the file) and the file when missing; writing no value deletes the
//    key; a whole section can be deleted;
//  - lines are written with CR LF; other lines of the file are kept as they are.
// Every operation opens, reads (and rewrites) the file on its own; a process-wide lock makes
// each one atomic with respect to the others.
class ProfileFile {
  public:
    // One line of a section as ReadSectionLines hands it back.
    struct SectionLine {
        int number = 0;      // 1-based line number in the file
        bool isKey = false;  // a "key=value" line; otherwise a line without '='
        std::string key;     // trimmed (keys only)
        std::string value;   // trimmed, quotes kept (keys only)
        std::string text;    // the whole line, trimmed
    };

    static constexpr size_t kValueBufferSize = 256;
    static constexpr size_t kSectionBufferSize = 1024;

    explicit ProfileFile(std::string path);

    const std::string& Path() const { return path_; }
    bool Exists() const;

    // GetPrivateProfileString: the key's value, or defaultText when the key (or the file) is
    // missing; cut to bufferSize - 1 characters. Like the platform call, it drops the default
    // text's trailing white space.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultText, size_t bufferSize = kValueBufferSize) const;

    // GetPrivateProfileInt: the number formed by the value's leading decimal digits (an
    // optional sign first; 0 when there are no digits), or defaultValue when the key is missing.
    // Numbers beyond the int range are held at its ends.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;

    // GetPrivateProfileSection: the section's non-empty lines in file order, each with white
    // space removed at both ends, as many as fit in a buffer of bufferSize bytes holding each
    // line with a terminating zero and a final zero. A line cut by the buffer's end is returned
    // cut. Empty when the section or the file is missing.
    std::vector<std::string> GetSection(std::string_view section,
                                        size_t bufferSize = kSectionBufferSize) const;

    // The whole file as it is (for the configuration check); false when it cannot be read.
    bool ReadText(std::string& text) const;

    // Every line of the section that is neither blank nor a comment, in file order, uncut and
    // with its line number, for readers that report problems by line. std::nullopt when the
    // file or the section is missing.
    std::optional<std::vector<SectionLine>> ReadSectionLines(std::string_view section) const;

    // WritePrivateProfileString: std::nullopt deletes the key. False when the file cannot be
    // written.
    bool WriteString(std::string_view section, std::string_view key,
                     std::optional<std::string_view> value) const;

    // WritePrivateProfileString with a null key: deletes the section and all its keys.
    bool DeleteSection(std::string_view section) const;

    // Replaces the whole file with content (the default file), under the same lock and with the
    // same crash-safe replacement as the other writes. False when it cannot be written.
    bool WriteAll(std::string_view content) const;

  private:
    std::string path_;
};

}  // namespace pg
