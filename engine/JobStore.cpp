#include "engine/JobStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <sstream>

#include "log/EscapeControls.h"
#include "log/LogFile.h"

namespace pg {

namespace {

constexpr const char* kManifestHeader = "pressgate-job 1";
constexpr const char* kManifestSuffix = ".job";
constexpr const char* kTemporarySuffix = ".new";
// A manifest is small; anything larger is not one of ours.
constexpr size_t kManifestLimit = 1 << 20;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool IsDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "<id>.<kind>" with kind "cf", "d<n>", "job" or "new"; false for any other name.
bool SplitStoreName(const std::string& name, uint64_t& id, std::string& kind) {
    const size_t dot = name.find('.');
    if (dot == std::string::npos || dot > 19 || !IsDigits(std::string_view(name).substr(0, dot))) {
        return false;
    }
    kind = name.substr(dot + 1);
    const bool known = kind == "cf" || kind == "job" || kind == "new" ||
                       (kind.size() > 1 && kind[0] == 'd' &&
                        IsDigits(std::string_view(kind).substr(1)) && kind.size() < 12);
    if (!known) {
        return false;
    }
    id = std::strtoull(name.c_str(), nullptr, 10);
    return true;
}

// Words of a manifest line are separated by single blanks; client text is written with every
// byte that could break that (white space, controls, non-ASCII, '%') as %XX, and an empty word
// as a lone '%'.
std::string Encode(std::string_view text) {
    if (text.empty()) {
        return "%";
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f || c == '%') {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool Decode(std::string_view word, std::string& text) {
    text.clear();
    if (word == "%") {
        return true;
    }
    for (size_t i = 0; i < word.size(); ++i) {
        if (word[i] != '%') {
            text += word[i];
            continue;
        }
        if (i + 2 >= word.size()) {
            return false;
        }
        const int high = HexValue(word[i + 1]);
        const int low = HexValue(word[i + 2]);
        if (high < 0 || low < 0) {
            return false;
        }
        text += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t start = 0;
    while (start <= line.size()) {
        const size_t end = line.find(' ', start);
        words.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return words;
}

bool ParseNumber(std::string_view word, uint64_t& value) {
    if (!IsDigits(word) || word.size() > 19) {
        return false;
    }
    value = std::strtoull(std::string(word).c_str(), nullptr, 10);
    return true;
}

bool ParseFile(const std::vector<std::string_view>& words, StoredFile& file) {
    return words.size() == 4 && !words[1].empty() && Decode(words[2], file.clientName) &&
           ParseNumber(words[3], file.size) && (file.storeName = words[1], true);
}

bool WriteAll(int fd, const std::string& text, int& error) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

bool ReadSmallFile(const std::string& path, std::string& text) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd) {
        return false;
    }
    text.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        text.append(buffer, static_cast<size_t>(got));
        if (text.size() > kManifestLimit) {
            return false;
        }
    }
}

}  // namespace

JobStore::JobStore(std::string queueName, std::string directory, bool sync)
    : queueName_(std::move(queueName)), directory_(std::move(directory)), sync_(sync) {}

std::string JobStore::PathOf(const std::string& storeName) const {
    return directory_ + "/" + storeName;
}

std::string JobStore::ControlName(uint64_t id) {
    return std::to_string(id) + ".cf";
}

std::string JobStore::DataName(uint64_t id, uint32_t n) {
    return std::to_string(id) + ".d" + std::to_string(n);
}

uint64_t JobStore::NewId() {
    MutexLock lock(mutex_);
    return nextId_++;
}

UniqueFd JobStore::Create(const std::string& storeName, int& error) const {
    UniqueFd fd(::open(PathOf(storeName).c_str(),
                       O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) {
        error = errno;
    }
    return fd;
}

bool JobStore::Settle(int fd, int& error) const {
    if (sync_.load() && ::fdatasync(fd) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool JobStore::SyncDirectory(int& error) const {
    if (!sync_.load()) {
        return true;
    }
    UniqueFd dir(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir || ::fsync(dir.Get()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

std::vector<std::string> JobStore::FileNames(const JobRecord& record) {
    std::vector<std::string> names;
    if (!record.control.storeName.empty()) {
        names.push_back(record.control.storeName);
    }
    for (const StoredFile& file : record.data) {
        names.push_back(file.storeName);
    }
    return names;
}

std::string JobStore::ManifestText(const JobRecord& record) {
    std::ostringstream text;
    text << kManifestHeader << "\n"
         << "id " << record.id << "\n"
         << "sequence " << record.sequence << "\n"
         << "arrival " << (record.arrivalTime < 0 ? 0 : record.arrivalTime) << "\n"
         << "time " << Encode(record.timeDate) << "\n"
         << "held " << (record.held ? 1 : 0) << "\n"
         << "origin " << Encode(record.origin.Text()) << " " << record.origin.Port() << "\n"
         << "control " << record.control.storeName << " " << Encode(record.control.clientName)
         << " " << record.control.size << "\n";
    for (const StoredFile& file : record.data) {
        text << "data " << file.storeName << " " << Encode(file.clientName) << " " << file.size
             << "\n";
    }
    text << "end\n";
    return text.str();
}

// Every line must be there, in order, and nothing may follow "end": a manifest cut short by a
// crash of a store that does not sync is no manifest.
bool JobStore::ParseManifest(const std::string& text, JobRecord& record) {
    std::vector<std::string_view> lines;
    std::string_view rest(text);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        if (end == std::string_view::npos) {
            return false;  // the last line has no line feed: cut short
        }
        lines.push_back(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    if (lines.size() < 9 || lines.front() != kManifestHeader || lines.back() != "end") {
        return false;
    }
    JobRecord parsed;
    uint64_t arrival = 0, held = 0, port = 0;
    auto field = [&](size_t index, const char* key, size_t count) {
        std::vector<std::string_view> words = Words(lines[index]);
        return words.size() == count && words[0] == key ? words : std::vector<std::string_view>{};
    };
    auto w = field(1, "id", 2);
    if (w.empty() || !ParseNumber(w[1], parsed.id))
        return false;
    w = field(2, "sequence", 2);
    if (w.empty() || !ParseNumber(w[1], parsed.sequence))
        return false;
    w = field(3, "arrival", 2);
    if (w.empty() || !ParseNumber(w[1], arrival))
        return false;
    parsed.arrivalTime = static_cast<int64_t>(arrival);
    w = field(4, "time", 2);
    if (w.empty() || !Decode(w[1], parsed.timeDate))
        return false;
    w = field(5, "held", 2);
    if (w.empty() || !ParseNumber(w[1], held) || held > 1)
        return false;
    parsed.held = held == 1;
    w = field(6, "origin", 3);
    std::string origin;
    if (w.empty() || !Decode(w[1], origin) || !ParseNumber(w[2], port) || port > 65535) {
        return false;
    }
    parsed.origin = PeerAddress::Parse(origin, static_cast<uint16_t>(port));
    w = Words(lines[7]);
    if (w.empty() || w[0] != "control" || !ParseFile(w, parsed.control))
        return false;
    for (size_t i = 8; i + 1 < lines.size(); ++i) {
        w = Words(lines[i]);
        StoredFile file;
        if (w.empty() || w[0] != "data" || !ParseFile(w, file))
            return false;
        parsed.data.push_back(std::move(file));
    }
    record = std::move(parsed);
    return true;
}

bool JobStore::WriteManifest(const JobRecord& record, int& error) const {
    const std::string base = std::to_string(record.id);
    const std::string temporary = PathOf(base + kTemporarySuffix);
    ::unlink(temporary.c_str());  // left by an earlier attempt
    {
        UniqueFd fd(
            ::open(temporary.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd) {
            error = errno;
            return false;
        }
        if (!WriteAll(fd.Get(), ManifestText(record), error) || !Settle(fd.Get(), error)) {
            ::unlink(temporary.c_str());
            return false;
        }
    }
    if (::rename(temporary.c_str(), PathOf(base + kManifestSuffix).c_str()) != 0) {
        error = errno;
        ::unlink(temporary.c_str());
        return false;
    }
    return SyncDirectory(error);
}

bool JobStore::Commit(JobRecord& record, int& error) {
    if (record.sequence == 0) {
        MutexLock lock(mutex_);
        record.sequence = nextSequence_++;
    }
    if (record.arrivalTime == 0) {
        record.arrivalTime = static_cast<int64_t>(std::time(nullptr));
    }
    return WriteManifest(record, error);
}

bool JobStore::Save(const JobRecord& record, int& error) const {
    return WriteManifest(record, error);
}

void JobStore::Remove(uint64_t id, const std::vector<std::string>& storeNames) const {
    ::unlink(PathOf(std::to_string(id) + kManifestSuffix).c_str());
    RemoveFiles(storeNames);
}

void JobStore::RemoveFiles(const std::vector<std::string>& storeNames) const {
    for (const std::string& name : storeNames) {
        ::unlink(PathOf(name).c_str());
    }
}

std::vector<JobRecord> JobStore::Recover() {
    ::mkdir(directory_.c_str(), 0700);  // the daemon's alone; an existing one is fine
    struct Group {
        std::vector<std::string> names;
        bool hasManifest = false;
    };
    std::map<uint64_t, Group> groups;
    std::vector<std::string> strays;
    if (std::unique_ptr<DIR, DirCloser> dir{::opendir(directory_.c_str())}) {
        const int dirFd = ::dirfd(dir.get());
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string name = entry->d_name;
            struct stat info {};
            if (name == "." || name == ".." ||
                ::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
                S_ISDIR(info.st_mode)) {
                continue;
            }
            uint64_t id = 0;
            std::string kind;
            if (!S_ISREG(info.st_mode) || !SplitStoreName(name, id, kind)) {
                strays.push_back(name);
                continue;
            }
            Group& group = groups[id];
            group.names.push_back(name);
            group.hasManifest = group.hasManifest || kind == "job";
        }
    }
    for (const std::string& name : strays) {
        systemLog.Log(1, "Print queue %s : removed stray file %s from the spool directory\n",
                      queueName_.c_str(), EscapeControls(name).c_str());
        ::unlink(PathOf(name).c_str());
    }

    std::vector<JobRecord> jobs;
    uint64_t lastId = 0, lastSequence = 0;
    for (auto& [id, group] : groups) {
        lastId = std::max(lastId, id);
        JobRecord record;
        std::string text;
        const bool whole = group.hasManifest &&
                           ReadSmallFile(PathOf(std::to_string(id) + kManifestSuffix), text) &&
                           ParseManifest(text, record) && record.id == id;
        std::vector<std::string> keep;
        bool complete = whole;
        if (whole) {
            keep = FileNames(record);
            keep.push_back(std::to_string(id) + kManifestSuffix);
            // Every file the manifest names is there, whole, and of this job.
            std::vector<const StoredFile*> files{&record.control};
            for (const StoredFile& file : record.data) {
                files.push_back(&file);
            }
            for (const StoredFile* file : files) {
                struct stat info {};
                complete = complete &&
                           std::find(group.names.begin(), group.names.end(), file->storeName) !=
                               group.names.end() &&
                           ::lstat(PathOf(file->storeName).c_str(), &info) == 0 &&
                           S_ISREG(info.st_mode) &&
                           static_cast<uint64_t>(info.st_size) == file->size;
            }
        }
        if (!complete) {
            systemLog.Log(1,
                          "Print queue %s : removed incomplete job %" PRIu64
                          " from the spool directory (%zu files)\n",
                          queueName_.c_str(), id, group.names.size());
            for (const std::string& name : group.names) {
                ::unlink(PathOf(name).c_str());
            }
            continue;
        }
        for (const std::string& name : group.names) {
            if (std::find(keep.begin(), keep.end(), name) == keep.end()) {
                systemLog.Log(
                    1, "Print queue %s : removed file %s that job %" PRIu64 " does not name\n",
                    queueName_.c_str(), name.c_str(), id);
                ::unlink(PathOf(name).c_str());
            }
        }
        lastSequence = std::max(lastSequence, record.sequence);
        jobs.push_back(std::move(record));
    }
    std::sort(jobs.begin(), jobs.end(),
              [](const JobRecord& a, const JobRecord& b) { return a.sequence < b.sequence; });
    MutexLock lock(mutex_);
    nextId_ = std::max(nextId_, lastId + 1);
    nextSequence_ = std::max(nextSequence_, lastSequence + 1);
    return jobs;
}

}  // namespace pg
