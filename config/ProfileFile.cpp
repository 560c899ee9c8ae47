#include "config/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

#include "config/ProfileText.h"
#include "platform/Mutex.h"
#include "platform/UniqueFd.h"

// How the file is read:
//  - A line ends at LF; a CR right before the LF belongs to the line end, so files with CR LF
//    and files with bare LF read alike. A UTF-8 byte order mark at the very start is skipped.
//  - A line whose first non-blank character is '[' and which holds a ']' later opens a section;
//    its name is the text between the '[' and the last ']', without white space at the ends.
//    A '[' without any ']' is an ordinary line.
//  - A line whose first non-blank character is ';' is a comment: never a key, but part of its
//    section for GetSection, which hands back every non-empty line of the section.
//  - Any other line holding '=' is a key: the name before the first '=', the value after it,
//    both without white space at the ends. A line without '=' is no key (reads of it give the
//    default) but, like a comment, it is a line of its section.
//  - Lines before the first section belong to no section and are never read as keys.
//  - With duplicate sections or keys the first one in the file is the one read, written and
//    deleted; the later ones stay as they are.
// How it is written:
//  - Every write reads the file, changes the lines concerned and writes the whole file anew
//    through a temporary file in the same directory that is renamed over the old one, so a
//    crash leaves either the old file or the new one. The new file gets the old one's mode and
//    owner; a symbolic link is followed and its target replaced.
//  - Lines the write does not concern are copied byte for byte, with their own line ends.
//    Lines the write adds or replaces end with CR LF. When a line must be added after a last
//    line that has no line end, that line gets a CR LF first.
//  - A replaced key keeps its name as the file spells it ("Hostfile=" stays "Hostfile=" when
//    HostFile is written), only its value changes.
//  - A new key goes right after the last non-empty line of its section, so the blank lines
//    that separate it from the next section stay after it. A new section goes at the end of
//    the file, without a blank line before it.
//  - Section, key and value are written as given once the section and key names lose their
//    white space at the ends. A write that could not be read back as written is refused
//    (false): a line break in any of them, or a key that is empty, holds '=' or starts with
//    ';' or '['.
//  - A write that leaves the bytes as they are does not touch the file.
// One process-wide lock is held by every write from its read to its rename, and by every read
// while it reads, so no operation of this process sees or loses another one's half-done
// change. The lock guards the files themselves, which is why it is held across their I/O.

namespace pg {

namespace {

// Constant-initialised, so it is ready before any other object's constructor can use it.
constinit Mutex profileMutex;
unsigned tempSequence GUARDED_BY(profileMutex) = 0;  // names the temporary files

enum class LineKind { kBlank, kSection, kComment, kKey, kOther };

struct ProfileLine {
    std::string_view raw;   // the line with its line end, exactly as in the file
    std::string_view text;  // the line without its line end
    LineKind kind = LineKind::kBlank;
    std::string_view name;   // section name or key name, trimmed
    std::string_view value;  // key value, trimmed
};

constexpr size_t kNotFound = static_cast<size_t>(-1);

ProfileLine ClassifyLine(std::string_view raw, std::string_view text) {
    ProfileLine line;
    line.raw = raw;
    line.text = text;
    const std::string_view trimmed = TrimWhiteSpace(text);
    if (trimmed.empty()) {
        line.kind = LineKind::kBlank;
        return line;
    }
    if (trimmed.front() == '[') {
        const size_t close = trimmed.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            line.kind = LineKind::kSection;
            line.name = TrimWhiteSpace(trimmed.substr(1, close - 1));
            return line;
        }
    }
    if (trimmed.front() == ';') {
        line.kind = LineKind::kComment;
        return line;
    }
    const size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) {
        line.kind = LineKind::kOther;
        return line;
    }
    line.kind = LineKind::kKey;
    line.name = TrimWhiteSpace(trimmed.substr(0, equals));
    line.value = TrimWhiteSpace(trimmed.substr(equals + 1));
    return line;
}

std::vector<ProfileLine> ParseLines(std::string_view content) {
    std::vector<ProfileLine> lines;
    size_t start = 0;
    size_t textStart = 0;
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (content.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        textStart = kByteOrderMark.size();
    }
    while (start < content.size()) {
        const size_t lf = content.find('\n', start);
        const size_t next = lf == std::string_view::npos ? content.size() : lf + 1;
        size_t textEnd = lf == std::string_view::npos ? content.size() : lf;
        if (lf != std::string_view::npos && textEnd > textStart && content[textEnd - 1] == '\r') {
            --textEnd;
        }
        lines.push_back(ClassifyLine(content.substr(start, next - start),
                                     content.substr(textStart, textEnd - textStart)));
        start = next;
        textStart = next;
    }
    return lines;
}

size_t FindSection(const std::vector<ProfileLine>& lines, std::string_view section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::kSection && EqualsNoCase(lines[i].name, section)) {
            return i;
        }
    }
    return kNotFound;
}

// One past the section's last line: the next section's header or the end of the file.
size_t SectionEnd(const std::vector<ProfileLine>& lines, size_t header) {
    size_t i = header + 1;
    while (i < lines.size() && lines[i].kind != LineKind::kSection) {
        ++i;
    }
    return i;
}

size_t FindKey(const std::vector<ProfileLine>& lines, size_t header, std::string_view key) {
    const size_t end = SectionEnd(lines, header);
    for (size_t i = header + 1; i < end; ++i) {
        if (lines[i].kind == LineKind::kKey && EqualsNoCase(lines[i].name, key)) {
            return i;
        }
    }
    return kNotFound;
}

// The line of key in section, or nullptr.
const ProfileLine* FindEntry(const std::vector<ProfileLine>& lines, std::string_view section,
                             std::string_view key) {
    const size_t header = FindSection(lines, section);
    if (header == kNotFound) {
        return nullptr;
    }
    const size_t index = FindKey(lines, header, key);
    return index == kNotFound ? nullptr : &lines[index];
}

std::string_view StripQuotes(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool IsWritableKey(std::string_view key) {
    return !key.empty() && !HasLineBreak(key) && key.find('=') == std::string_view::npos &&
           key.front() != ';' && key.front() != '[';
}

void EnsureLineEnd(std::string& text) {
    if (!text.empty() && text.back() != '\n') {
        text += "\r\n";
    }
}

void AppendLines(std::string& out, const std::vector<ProfileLine>& lines, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        out.append(lines[i].raw);
    }
}

enum class ReadResult { kRead, kMissing, kError };

ReadResult ReadContents(const std::string& path, std::string& content) {
    content.clear();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kError;
    }
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n == 0) {
            return ReadResult::kRead;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            content.clear();
            return ReadResult::kError;
        }
        content.append(buffer, static_cast<size_t>(n));
    }
}

bool WriteFully(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// A read needs the lock only to see a file no write of this process is halfway through.
ReadResult ReadLocked(const std::string& path, std::string& content) EXCLUDES(profileMutex) {
    MutexLock lock(profileMutex);
    return ReadContents(path, content);
}

// The file a write must replace: the target of a symbolic link, else path itself.
std::string ResolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string target(real);
            std::free(real);
            return target;
        }
    }
    return path;
}

// Writes content to a temporary file beside path and renames it over path.
bool ReplaceContents(const std::string& path, std::string_view content) REQUIRES(profileMutex) {
    const std::string target = ResolveTarget(path);
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    const std::string temp =
        target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(++tempSequence);
    UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd && errno == EEXIST) {
        // Left by an earlier process of the same id that died before its rename.
        ::unlink(temp.c_str());
        fd.Reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    }
    if (!fd) {
        return false;
    }
    bool ok = true;
    if (existed) {
        // The owner first: a change of owner may clear set-id bits the mode then restores.
        // Not being allowed to keep the owner is no reason to fail the write.
        (void)::fchown(fd.Get(), old.st_uid, old.st_gid);
        ok = ::fchmod(fd.Get(), old.st_mode & 07777) == 0;
    }
    ok = ok && WriteFully(fd.Get(), content) && ::fsync(fd.Get()) == 0;
    ok = ::close(fd.Release()) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
    }
    return ok;
}

}  // namespace

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)) {}

bool ProfileFile::Exists() const {
    struct stat st {};
    return ::stat(path_.c_str(), &st) == 0;
}

bool ProfileFile::ReadText(std::string& text) const {
    return ReadLocked(path_, text) == ReadResult::kRead;
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key,
                                   std::string_view defaultText, size_t bufferSize) const {
    if (bufferSize == 0) {
        return std::string();
    }
    std::string content;
    std::string_view result;
    bool found = false;
    if (ReadLocked(path_, content) == ReadResult::kRead) {
        const std::vector<ProfileLine> lines = ParseLines(content);
        if (const ProfileLine* entry =
                FindEntry(lines, TrimWhiteSpace(section), TrimWhiteSpace(key))) {
            result = StripQuotes(entry->value);  // a view into content
            found = true;
        }
    }
    if (!found) {
        // The platform call drops trailing blanks of the default text too.
        result = defaultText;
        while (!result.empty() && IsWhiteSpace(result.back())) {
            result.remove_suffix(1);
        }
    }
    return std::string(result.substr(0, bufferSize - 1));
}

int ProfileFile::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
    std::string content;
    if (ReadLocked(path_, content) != ReadResult::kRead) {
        return defaultValue;
    }
    const std::vector<ProfileLine> lines = ParseLines(content);
    const ProfileLine* entry = FindEntry(lines, TrimWhiteSpace(section), TrimWhiteSpace(key));
    if (entry == nullptr) {
        return defaultValue;
    }
    // The value is read as a string first, so quotes go before the digits are taken.
    return ParseLeadingInt(StripQuotes(entry->value).substr(0, kValueBufferSize - 1));
}

std::vector<std::string> ProfileFile::GetSection(std::string_view section,
                                                 size_t bufferSize) const {
    std::vector<std::string> result;
    std::string content;
    if (ReadLocked(path_, content) != ReadResult::kRead) {
        return result;
    }
    const std::vector<ProfileLine> lines = ParseLines(content);
    const size_t header = FindSection(lines, TrimWhiteSpace(section));
    if (header == kNotFound || bufferSize < 2) {
        return result;
    }
    // The buffer holds each line and its terminating zero, then one more zero. When the whole
    // does not fit, the platform fills bufferSize - 2 bytes and ends them with two zeros; a
    // line that the cut falls into comes back cut.
    const size_t end = SectionEnd(lines, header);
    size_t room = bufferSize - 1;  // the final zero's byte is always kept
    for (size_t i = header + 1; i < end; ++i) {
        if (lines[i].kind == LineKind::kBlank) {
            continue;
        }
        const std::string_view text = TrimWhiteSpace(lines[i].text);
        if (text.size() + 1 <= room) {
            result.emplace_back(text);
            room -= text.size() + 1;
            continue;
        }
        // Overflow: of the bufferSize - 2 content bytes, those left after the earlier lines
        // and their zeros go to this line.
        if (room > 1) {
            result.emplace_back(text.substr(0, room - 1));
        }
        break;
    }
    return result;
}

std::optional<std::vector<ProfileFile::SectionLine>> ProfileFile::ReadSectionLines(
    std::string_view section) const {
    std::string content;
    if (ReadLocked(path_, content) != ReadResult::kRead) {
        return std::nullopt;
    }
    const std::vector<ProfileLine> lines = ParseLines(content);
    const size_t header = FindSection(lines, TrimWhiteSpace(section));
    if (header == kNotFound) {
        return std::nullopt;
    }
    std::vector<SectionLine> result;
    const size_t end = SectionEnd(lines, header);
    for (size_t i = header + 1; i < end; ++i) {
        if (lines[i].kind != LineKind::kKey && lines[i].kind != LineKind::kOther) {
            continue;
        }
        SectionLine line;
        line.number = static_cast<int>(i) + 1;
        line.isKey = lines[i].kind == LineKind::kKey;
        line.key = std::string(lines[i].name);
        line.value = std::string(lines[i].value);
        line.text = std::string(TrimWhiteSpace(lines[i].text));
        result.push_back(std::move(line));
    }
    return result;
}

bool ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::optional<std::string_view> value) const {
    const std::string_view sectionName = TrimWhiteSpace(section);
    const std::string_view keyName = TrimWhiteSpace(key);
    if (HasLineBreak(sectionName) || !IsWritableKey(keyName) ||
        (value.has_value() && HasLineBreak(*value))) {
        return false;
    }
    MutexLock lock(profileMutex);
    std::string content;
    const ReadResult read = ReadContents(path_, content);
    if (read == ReadResult::kError) {
        return false;
    }
    if (read == ReadResult::kMissing && !value.has_value()) {
        return true;  // nothing to delete
    }
    const std::vector<ProfileLine> lines = ParseLines(content);
    const size_t header = FindSection(lines, sectionName);
    std::string out;
    if (header == kNotFound) {
        if (!value.has_value()) {
            return true;
        }
        out = content;
        EnsureLineEnd(out);
        out.append("[").append(sectionName).append("]\r\n");
        out.append(keyName).append("=").append(*value).append("\r\n");
    } else if (const size_t index = FindKey(lines, header, keyName); index != kNotFound) {
        AppendLines(out, lines, 0, index);
        if (value.has_value()) {
            out.append(lines[index].name).append("=").append(*value).append("\r\n");
        }
        AppendLines(out, lines, index + 1, lines.size());
    } else {
        if (!value.has_value()) {
            return true;
        }
        size_t last = header;
        const size_t end = SectionEnd(lines, header);
        for (size_t i = header + 1; i < end; ++i) {
            if (lines[i].kind != LineKind::kBlank) {
                last = i;
            }
        }
        AppendLines(out, lines, 0, last + 1);
        EnsureLineEnd(out);
        out.append(keyName).append("=").append(*value).append("\r\n");
        AppendLines(out, lines, last + 1, lines.size());
    }
    if (read == ReadResult::kRead && out == content) {
        return true;
    }
    return ReplaceContents(path_, out);
}

bool ProfileFile::DeleteSection(std::string_view section) const {
    const std::string_view sectionName = TrimWhiteSpace(section);
    MutexLock lock(profileMutex);
    std::string content;
    const ReadResult read = ReadContents(path_, content);
    if (read != ReadResult::kRead) {
        return read == ReadResult::kMissing;
    }
    const std::vector<ProfileLine> lines = ParseLines(content);
    const size_t header = FindSection(lines, sectionName);
    if (header == kNotFound) {
        return true;
    }
    std::string out;
    AppendLines(out, lines, 0, header);
    AppendLines(out, lines, SectionEnd(lines, header), lines.size());
    return ReplaceContents(path_, out);
}

bool ProfileFile::WriteAll(std::string_view content) const {
    MutexLock lock(profileMutex);
    return ReplaceContents(path_, content);
}

}  // namespace pg
