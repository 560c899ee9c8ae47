#include "platform/DevicePrinterHandle.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <utility>

namespace pg {

namespace {

constexpr int kSequenceDigits = 6;

// The sequence number a document file name starts with ("000042-report" gives 42), or 0 for a
// name that is not a document file.
unsigned long SequenceOf(const char* name) {
    unsigned long value = 0;
    int digits = 0;
    for (; name[digits] >= '0' && name[digits] <= '9'; ++digits) {
        if (value > 100000000UL) {
            return 0;
        }
        value = value * 10 + static_cast<unsigned long>(name[digits] - '0');
    }
    return digits >= kSequenceDigits && name[digits] == '-' ? value : 0;
}

unsigned long HighestSequence(int directoryFd) {
    int fd = ::dup(directoryFd);
    if (fd < 0) {
        return 0;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return 0;
    }
    unsigned long highest = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (unsigned long value = SequenceOf(entry->d_name); value > highest) {
            highest = value;
        }
    }
    ::closedir(dir);
    return highest;
}

// Blocks SIGPIPE in the calling thread for its scope, so that a write to a pipe whose reader
// has gone fails with EPIPE instead of ending the process; a SIGPIPE raised meanwhile is
// consumed unless one was already pending before.
class SigpipeBlock {
  public:
    SigpipeBlock() {
        sigemptyset(&pipeSet_);
        sigaddset(&pipeSet_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipeSet_, &previous_);
    }
    ~SigpipeBlock() {
        if (!wasPending_) {
            const timespec now{};
            while (sigtimedwait(&pipeSet_, nullptr, &now) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

  private:
    sigset_t pipeSet_;
    sigset_t previous_;
    bool wasPending_ = false;
};

}  // namespace

DevicePrinterHandle::DevicePrinterHandle(std::string path, bool isDirectory)
    : path_(std::move(path)), isDirectory_(isDirectory) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        cancelRead_.Reset(fds[0]);
        cancelWrite_.Reset(fds[1]);
    }
}

DevicePrinterHandle::~DevicePrinterHandle() = default;

bool DevicePrinterHandle::StartDocument(const std::string& documentName,
                                        [[maybe_unused]] const std::string& requestingUser,
                                        const std::string& fileName) {
    if (document_) {
        return Fail(EBUSY, "StartDocument()");
    }
    DiscardBuffered();
    if (!isDirectory_) {
        return OpenDevice();
    }
    return CreateDocumentFile(fileName.empty() ? documentName : fileName);
}

bool DevicePrinterHandle::CreateDocumentFile(const std::string& documentName) {
    // The name comes from a client: nothing in it may leave the directory, hide the file or
    // put control characters into a listing.
    std::string safeName = documentName;
    for (char& c : safeName) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) {
            c = '_';
        }
    }
    if (!safeName.empty() && safeName.front() == '.') {
        safeName.front() = '_';
    }

    UniqueFd directory(::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory) {
        return Fail(errno, "open()");
    }
    // The lock on the directory makes finding the highest number and creating the next file
    // one step for every handle, in this process or another; O_EXCL still guards against
    // writers that do not take it.
    while (::flock(directory.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            return Fail(errno, "flock()");
        }
    }
    unsigned long sequence = HighestSequence(directory.Get());
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "%0*lu-", kSequenceDigits, ++sequence);
        // An overlong document name is cut to leave room for the number in one file name.
        const std::string name = prefix + safeName.substr(0, NAME_MAX - std::strlen(prefix));
        int fd = ::openat(directory.Get(), name.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0640);
        if (fd >= 0) {
            document_.Reset(fd);
            documentPath_ = path_ + "/" + name;
            isPipe_ = false;
            return true;
        }
        error = errno;
    }
    return Fail(error, "openat()");
}

bool DevicePrinterHandle::OpenDevice() {
    // O_NONBLOCK so that a FIFO without a reader fails (ENXIO) instead of hanging the printing
    // thread. It stays set: a write the device cannot take waits in poll(), where Cancel() can
    // end it.
    int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return Fail(errno, "open()");
    }
    document_.Reset(fd);
    struct stat st {};
    isPipe_ = ::fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
    documentPath_ = path_;
    return true;
}

void DevicePrinterHandle::Cancel() {
    cancelled_.store(true);
    if (cancelWrite_) {
        const char byte = 1;
        [[maybe_unused]] ssize_t ignored = ::write(cancelWrite_.Get(), &byte, 1);
    }
}

bool DevicePrinterHandle::StartPage() {
    return Flush();
}

bool DevicePrinterHandle::EndPage() {
    return Flush();
}

bool DevicePrinterHandle::EndDocument() {
    if (!document_) {
        DiscardBuffered();
        return Fail(EBADF, "EndDocument()");
    }
    const bool flushed = Flush();
    const int closed = ::close(document_.Release());
    if (!flushed) {
        return false;
    }
    // close() reports late write errors of some file systems (NFS, quotas).
    return closed == 0 || errno == EINTR ? true : Fail(errno, "close()");
}

bool DevicePrinterHandle::Send(const char* data, size_t length, int& error, const char*& call) {
    call = "write()";
    if (!document_) {
        error = EBADF;
        return false;
    }
    std::optional<SigpipeBlock> block;
    if (isPipe_) {
        block.emplace();
    }
    while (length > 0) {
        if (cancelled_.load()) {
            error = ECANCELED;
            return false;
        }
        const ssize_t n = ::write(document_.Get(), data, length);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN && cancelRead_) {
                pollfd fds[2] = {{document_.Get(), POLLOUT, 0}, {cancelRead_.Get(), POLLIN, 0}};
                if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
                    error = errno;
                    call = "poll()";
                    return false;
                }
                continue;
            }
            error = errno;
            return false;
        }
        if (n == 0) {
            error = EIO;
            return false;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace pg
