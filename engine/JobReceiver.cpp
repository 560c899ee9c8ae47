#include "engine/JobReceiver.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <thread>
#include <utility>

#include "engine/ClientConnection.h"
#include "engine/JobEntry.h"
#include "engine/LPDSpooler.h"
#include "engine/PrintQueue.h"
#include "engine/SubcommandLine.h"
#include "log/LogFile.h"

namespace pg {

namespace {

// Only this much of a control file is read back.
constexpr size_t kControlFileLimit = 4096;

constexpr char kAbortWarning[] =
    "Warning : LPDPrinter::RecvJob : client abort the job during spooling.\n";

bool WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        const ssize_t put = ::write(fd, data, length);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += put;
        length -= static_cast<size_t>(put);
    }
    return true;
}

// Up to limit bytes from the start of the file; false when reading fails.
bool ReadHead(int fd, std::string& text, size_t limit) {
    text.assign(limit, '\0');
    size_t have = 0;
    while (have < limit) {
        const ssize_t got = ::read(fd, text.data() + have, limit - have);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            text.clear();
            return false;
        }
        if (got == 0) {
            break;
        }
        have += static_cast<size_t>(got);
    }
    text.resize(have);
    return true;
}

// "HH:MM:SS MM/DD/YY", local time.
std::string LocalTimeDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32] = {};
    std::strftime(text, sizeof text, "%H:%M:%S %m/%d/%y", &local);
    return text;
}

}  // namespace

JobReceiver::JobReceiver(PrintQueue& queue, ClientConnection& connection,
                         std::chrono::milliseconds zeroReadPause)
    : queue_(queue), connection_(connection), zeroReadPause_(zeroReadPause), reader_(connection) {}

bool JobReceiver::EnoughFreeSpace(uint32_t size, const VolumeSpace& space) {
    if (space.bytesPerSector == 0 || space.sectorsPerCluster == 0) {
        return false;  // a volume that reports no geometry has no room we can count on
    }
    const uint64_t needed = size / space.bytesPerSector / space.sectorsPerCluster;
    return needed + kFreeClusterMargin < space.freeClusters;
}

bool JobReceiver::AcceptableFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool JobReceiver::Run() {
    content_.resize(kContentBufferSize);
    spoolDirectory_ = queue_.SpoolDirectory();
    PrintQueue::SendAck(connection_);  // the receive-job command itself
    localPrintLog.Log(1, "Socket(%u) : Receive new print job for print queue (%s)\n",
                      connection_.SocketNumber(), queue_.name.c_str());

    std::string text;
    while (!ended_) {
        const SubcommandReader::Status status = reader_.ReadLine(text);
        if (status == SubcommandReader::Status::Error) {
            ended_ = true;
            failed_ = true;
            break;
        }
        if (status == SubcommandReader::Status::Closed) {
            // The client closes between subcommands: that is how a job ends.
            ended_ = true;
            failed_ = false;
            break;
        }
        DumpReceived(text.data(), text.size());
        const SubcommandLine line = SubcommandLine::Parse(text);
        switch (line.code) {
            case 1:
                Abort();
                break;
            case 2:
                ReceiveControlFile(line);
                break;
            case 3:
                ReceiveDataFile(line);
                break;
            default:
                break;  // any other code is ignored: no reply
        }
    }
    content_.clear();
    content_.shrink_to_fit();

    if (failed_) {
        // Only the job's own reference is taken here, for the length of the removal.
        if (std::shared_ptr<JobEntry> job = job_.lock()) {
            systemLog.Log(1,
                          "Socket(%u) : LPDPrinter::RecvJob() - print queue (%s).  Remove "
                          "failed job (%s) filename(%s).\n",
                          connection_.SocketNumber(), queue_.Destination().c_str(),
                          job->jobName.c_str(), path_.c_str());
            return !queue_.RemoveJob(job.get());
        }
    }
    ReleaseJob();
    return true;
}

// Abort (01): the files of the job named by the most recent file name go. A job entry that this
// connection created stays in its queue in the state it has.
void JobReceiver::Abort() {
    PrintQueue::SendAck(connection_);
    if (!lastName_.suffix.empty()) {
        DeleteJobFiles();
    }
    ended_ = true;
}

void JobReceiver::ReceiveControlFile(const SubcommandLine& line) {
    if (line.countText.empty() || line.name.empty()) {
        return;  // ignored: no reply, no log
    }
    if (!StartFile("control", line.name)) {
        return;
    }

    UniqueFd file = CreateSpoolFile(
        "Socket(%u) :Error - LPDPrinter::RecvJob() - printer(%s) fails in CreateFile() for file "
        "%s - last error(%ld)\n");
    if (!file) {
        return;
    }
    PrintQueue::SendAck(connection_);
    ReceiveControlContent(file, line.count);
    file.Reset();
    if (failed_) {
        return;
    }
    systemLog.Log(3, "INFO: Control file (%s) received successfully.\n", path_.c_str());

    // An aborted control file was deleted above: reading it back fails here, which ends the
    // reception failed.
    UniqueFd input(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!input) {
        const long error = errno;
        failed_ = true;
        ended_ = true;
        systemLog.Log(1,
                      "Socket(%u) :Error - LPDPrinter::RecvJob() - printer(%s) fails in opening "
                      "file %s - last error(%ld)\n",
                      connection_.SocketNumber(), queue_.Destination().c_str(), path_.c_str(),
                      error);
        return;
    }
    std::string text;
    if (!ReadHead(input.Get(), text, kControlFileLimit) || text.empty()) {
        return;  // nothing to make a job of
    }
    CreateJob(text);
}

// A read of exactly one byte of value 0 before the count is reached completes the control file
// early; one byte of value 1 aborts the job. The count is never passed: bytes of a read beyond
// it go back to the reader, and the byte right after the content is taken as the terminating
// zero and never written.
void JobReceiver::ReceiveControlContent(UniqueFd& file, int32_t count) {
    int64_t received = 0;
    while (received < count && !ended_) {
        const ssize_t got = reader_.ReadSome(content_.data(), content_.size());
        if (got <= 0) {
            failed_ = true;  // the client went away in the middle: no reply, no log
            ended_ = true;
            return;
        }
        if (IsAbortByte(got)) {
            AbortJob();
            return;
        }
        if (got == 1 && content_[0] == '\0') {
            systemLog.Log(3, "INFO: a complete control file received.\n");
            PrintQueue::SendAck(connection_);
            return;
        }
        const size_t use = static_cast<size_t>(std::min<int64_t>(got, count - received));
        DumpReceived(content_.data(), use);
        if (!WriteAll(file.Get(), content_.data(), use)) {
            const long error = errno;
            PrintQueue::SendNack(connection_);
            failed_ = true;
            ended_ = true;
            systemLog.Log(1,
                          "Socket(%u) : Error - LPDPrinter::RecvJob() - printer(%s) fails in "
                          "WriteFile() for file %s - last error(%ld)\n",
                          connection_.SocketNumber(), queue_.Destination().c_str(), path_.c_str(),
                          error);
            return;
        }
        if (use < static_cast<size_t>(got)) {
            reader_.PutBack(
                std::string_view(content_.data() + use, static_cast<size_t>(got) - use));
        }
        received += static_cast<int64_t>(use);
        if (received == count) {
            PrintQueue::SendAck(connection_);
            reader_.ExpectTerminatingZero();
        }
    }
    if (count == 0) {
        reader_.ExpectTerminatingZero();  // an empty control file still has its zero
    }
}

void JobReceiver::CreateJob(const std::string& controlText) {
    auto job = std::make_shared<JobEntry>();
    job->nameSuffix = lastName_.suffix;
    job->prefixLength = lastName_.prefixLength;
    job->digitCount = static_cast<int32_t>(lastName_.digits.size());
    LPDSpooler* spooler = queue_.Spooler();
    job->ReadControlFile(controlText, spooler != nullptr && spooler->Settings().suppressBanner);
    job->timeDate = LocalTimeDate();
    // A data file that was complete before the control file came (on this connection) makes the
    // job ready at once.
    if (dataReceived_) {
        systemLog.Log(3, "INFO: Createing job with state = ready\n");
        job->SetState(JobState::Waiting);
    } else {
        systemLog.Log(3, "INFO: Createing job with state = spooling\n");
        job->SetState(JobState::Spooling);
    }
    job->jobNo = lastName_.JobNumber();
    job->listValue = 5;
    // A job of an earlier control file on this connection stays in the queue and is complete;
    // from now on the reception follows this one.
    ReleaseJob();
    job->receiving = true;
    job_ = job;
    queue_.AddJob(std::move(job));
}

// The job of this connection gets no more files: the printing thread may take it.
void JobReceiver::ReleaseJob() {
    if (std::shared_ptr<JobEntry> job = job_.lock()) {
        if (job->receiving.exchange(false)) {
            queue_.NotifyWork();
        }
    }
}

// Creates (or replaces) the spool file path_ for writing. On failure: NACK, the reception ends
// failed, and the level-1 line of the given format (socket, destination, path, errno).
UniqueFd JobReceiver::CreateSpoolFile(const char* failureFormat) {
    UniqueFd file(::open(path_.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644));
    if (!file) {
        const long error = errno;
        PrintQueue::SendNack(connection_);
        failed_ = true;
        ended_ = true;
        systemLog.Log(1, failureFormat, connection_.SocketNumber(), queue_.Destination().c_str(),
                      path_.c_str(), error);
    }
    return file;
}

void JobReceiver::ReceiveDataFile(const SubcommandLine& line) {
    if (line.countText.empty()) {
        systemLog.Log(1, "Expect file name, but null string read.  Therefore, job (%s) rejected.\n",
                      JobNameForLog().c_str());
        failed_ = true;
        return;
    }
    if (line.name.empty()) {
        systemLog.Log(1,
                      "Expect file name, but null string read.  Therefore, job (%s) "
                      "rejected.(case 2)\n",
                      JobNameForLog().c_str());
        failed_ = true;
        return;
    }
    if (!StartFile("data", line.name)) {
        return;
    }

    // A count beyond the signed 32-bit range announces a file that ends when the client closes
    // the connection: its size is unknown, so the room is checked as for an empty file.
    const bool untilClose = line.UntilClose();
    const int32_t size = untilClose ? 0 : line.count;
    if (!CheckFreeSpace(size)) {
        systemLog.Log(1, "No free spaces available for print file %s with size %d\n", path_.c_str(),
                      size);
        PrintQueue::SendNack(connection_);
        failed_ = true;
        return;
    }

    UniqueFd file = CreateSpoolFile(
        "Socket(%u) :Error - LPDPrinter::RecvJob() - print queue(%s) fails in CreateFile() for "
        "file %s - last error(%ld)\n");
    if (!file) {
        // A client that ignores the NACK goes on sending: take it all, then answer once more.
        DiscardUntilClose();
        PrintQueue::SendAck(connection_);
        return;
    }
    PrintQueue::SendAck(connection_);
    if (untilClose) {
        ReceiveDataUntilClose(file);
    } else {
        ReceiveCountedData(file, line.count);
    }
}

// The count has been checked for room, so it is not negative here. An empty data file is
// complete as soon as it exists: it is acknowledged and counts as received at once, so a client
// that announces zero bytes is not left waiting.
void JobReceiver::ReceiveCountedData(UniqueFd& file, int32_t count) {
    if (count <= 0) {
        file.Reset();
        DataFileComplete(true);
        reader_.ExpectTerminatingZero();
        return;
    }
    int64_t received = 0;
    while (received < count && !ended_) {
        const ssize_t got = reader_.ReadSome(content_.data(), content_.size());
        if (got < 0) {
            FailReadingData(file, false);
            return;
        }
        if (got == 0) {
            if (ZeroReadLimitReached()) {
                FailReadingData(file, true);
                return;
            }
            continue;
        }
        zeroReads_ = 0;
        if (IsAbortByte(got)) {
            DumpReceived(content_.data(), 1);
            AbortJob();
            return;
        }
        const size_t use = static_cast<size_t>(std::min<int64_t>(got, count - received));
        DumpReceived(content_.data(), use);
        if (use < static_cast<size_t>(got)) {
            reader_.PutBack(
                std::string_view(content_.data() + use, static_cast<size_t>(got) - use));
        }
        if (!WriteDataContent(file, use)) {
            return;
        }
        received += static_cast<int64_t>(use);
        if (received == count) {
            file.Reset();
            DataFileComplete(true);
            reader_.ExpectTerminatingZero();
        }
    }
}

// A file of unknown length: everything up to the client's close is content (clients that
// announce it this way send no terminating zero and expect no reply after the content). A
// client that only stays silent is treated as in a counted file: seven zero-byte reads end the
// reception failed.
void JobReceiver::ReceiveDataUntilClose(UniqueFd& file) {
    localPrintLog.Log(3, "Socket(%u) : data file %s is received until the client closes\n",
                      connection_.SocketNumber(), path_.c_str());
    for (;;) {
        const ssize_t got = reader_.ReadSome(content_.data(), content_.size());
        if (got < 0) {
            FailReadingData(file, false);
            return;
        }
        if (got == 0) {
            if (!connection_.TimedOut()) {
                file.Reset();
                DataFileComplete(false);
                return;
            }
            if (ZeroReadLimitReached()) {
                FailReadingData(file, true);
                return;
            }
            continue;
        }
        zeroReads_ = 0;
        DumpReceived(content_.data(), static_cast<size_t>(got));
        if (IsAbortByte(got)) {
            AbortJob();
            return;
        }
        if (!WriteDataContent(file, static_cast<size_t>(got))) {
            return;
        }
    }
}

// The job becomes waiting with its first complete data file after the control file, even when
// further data files of the same job are still to come on this connection: the printing thread
// may start delivering it while they arrive (local output takes the data files it finds then).
void JobReceiver::DataFileComplete(bool sendAck) {
    if (sendAck) {
        PrintQueue::SendAck(connection_);
    }
    dataReceived_ = true;
    systemLog.Log(3, "INFO: Data file received successfully (%s)\n", path_.c_str());
    if (std::shared_ptr<JobEntry> job = job_.lock()) {
        if (job->State() == JobState::Spooling) {
            systemLog.Log(3, "INFO: Change job state from spooling to ready\n");
            queue_.JobReceived(*job);
        }
    }
}

// Writes the first length bytes of content_ to a data file; on failure the file is closed, the
// reception ends failed and the level-1 line is written.
bool JobReceiver::WriteDataContent(UniqueFd& file, size_t length) {
    if (WriteAll(file.Get(), content_.data(), length)) {
        return true;
    }
    const long error = errno;
    file.Reset();
    failed_ = true;
    ended_ = true;
    systemLog.Log(1,
                  "Socket(%u) :Error - LPDPrinter::RecvJob() - print queue (%s) fails in "
                  "WriteFile() for file %s - last error(%ld)\n",
                  connection_.SocketNumber(), queue_.Destination().c_str(), path_.c_str(), error);
    return false;
}

// The client's abort byte: the job's files are deleted and the reception ends without failure.
void JobReceiver::AbortJob() {
    localPrintLog.Log(2, kAbortWarning);
    DeleteJobFiles();
    failed_ = false;
    ended_ = true;
}

bool JobReceiver::ZeroReadLimitReached() {
    connection_.Pause(zeroReadPause_);  // ends early when the daemon shuts down
    ++zeroReads_;
    return zeroReads_ >= kZeroReadLimit;
}

// The client is acknowledged all the same (it may still be waiting for a reply) and the half
// received file stays where it is until the job's files are deleted.
void JobReceiver::FailReadingData(UniqueFd& file, bool closed) {
    const long error = connection_.LastError();
    PrintQueue::SendAck(connection_);
    file.Reset();
    failed_ = true;
    ended_ = true;
    if (closed) {
        systemLog.Log(1, "LPDPrinter::RecvJob() - fail in recv() for Queue %s - read 0 byte\n",
                      queue_.Destination().c_str());
    } else {
        systemLog.Log(1, "LPDPrinter::RecvJob() - fail in recv() for Queue %s - last error(%ld)\n",
                      queue_.Destination().c_str(), error);
    }
}

// Logs the announced file and makes it the current one. Names are appended to the spool
// directory as they come, so a name that would lead out of it (or that cannot name a file in it)
// ends the reception failed before anything is written: false then.
bool JobReceiver::StartFile(const char* kind, const std::string& name) {
    localPrintLog.Log(1, "Socket(%u) : Receive %s file %s for print queue (%s)\n",
                      connection_.SocketNumber(), kind, name.c_str(), queue_.name.c_str());
    if (!AcceptableFileName(name)) {
        PrintQueue::SendNack(connection_);
        failed_ = true;
        ended_ = true;
        systemLog.Log(1,
                      "Socket(%u) :Error - LPDPrinter::RecvJob() - print queue(%s) refuses file "
                      "name %s\n",
                      connection_.SocketNumber(), queue_.name.c_str(), name.c_str());
        return false;
    }
    lastName_ = SpoolFileName::Analyse(name);
    path_ = spoolDirectory_ + "/" + name;
    return true;
}

void JobReceiver::DiscardUntilClose() {
    while (reader_.ReadSome(content_.data(), content_.size()) > 0) {
    }
}

// On Linux statvfs answers for any path on a volume, so the spool base directory itself is
// queried: there is no volume root to work out and no form of the path that cannot be asked
// about. A negative count is refused without asking: taken as unsigned it is above 2 GB, and a
// file announced with a negative length could never be received.
bool JobReceiver::CheckFreeSpace(int32_t size) {
    if (size < 0) {
        return false;
    }
    LPDSpooler* spooler = queue_.Spooler();
    const std::string base = spooler ? spooler->Settings().spoolBaseDirectory : spoolDirectory_;
    VolumeSpace space;
    int error = 0;
    if (!QueryVolumeSpace(base, space, error)) {
        systemLog.Log(1,
                      "Error in Calling GetDiskFreeSpace for spool base directory %s - last "
                      "error (%ld)\n",
                      base.c_str(), static_cast<long>(error));
        return false;
    }
    return EnoughFreeSpace(static_cast<uint32_t>(size), space);
}

// Every spool file of the queue whose name has the received digits and suffix behind the same
// number of characters as the most recent name: the job's control file and data files.
void JobReceiver::DeleteJobFiles() {
    DeleteSpoolFiles(spoolDirectory_, lastName_.Pattern());
}

void JobReceiver::DumpReceived(const char* data, size_t length) {
    if (localPrintLog.Level() >= 1 && length > 0) {
        localPrintLog.HexDump("Received Data", data, static_cast<int32_t>(length));
    }
}

bool JobReceiver::IsAbortByte(ssize_t got) const {
    return got == 1 && content_[0] == '\1';
}

std::string JobReceiver::JobNameForLog() const {
    if (std::shared_ptr<JobEntry> job = job_.lock()) {
        return job->jobName;
    }
    return " ";
}

}  // namespace pg
