#include "engine/JobReceiver.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <ctime>
#include <utility>

#include "engine/ClientConnection.h"
#include "engine/DaemonSettings.h"
#include "engine/JobEntry.h"
#include "engine/JobStore.h"
#include "engine/PrintQueue.h"
#include "engine/SubcommandLine.h"
#include "log/ErrorText.h"
#include "log/EscapeControls.h"
#include "log/LogFile.h"

namespace pg {

namespace {

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

// "HH:MM:SS MM/DD/YY", local time.
std::string LocalTimeDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32] = {};
    std::strftime(text, sizeof text, "%H:%M:%S %m/%d/%y", &local);
    return text;
}

bool TraceOn() {
    return localPrintLog.Writes(1);
}

}  // namespace

JobReceiver::JobReceiver(PrintQueue& queue, ClientConnection& connection)
    : queue_(queue), connection_(connection), reader_(connection) {}

bool JobReceiver::EnoughFreeSpace(uint32_t size, const VolumeSpace& space, uint64_t minFreeBytes) {
    if (space.bytesPerSector == 0 || space.sectorsPerCluster == 0) {
        return false;  // a volume that reports no geometry has no room we can count on
    }
    const uint64_t cluster = space.bytesPerSector * space.sectorsPerCluster;
    const uint64_t needed = size / space.bytesPerSector / space.sectorsPerCluster;
    const uint64_t margin = std::max(kFreeClusterMargin, (minFreeBytes + cluster - 1) / cluster);
    return needed + margin < space.freeClusters;
}

bool JobReceiver::Run() {
    store_ = queue_.Store();
    queueName_ = queue_.name;
    const QueueTarget target = queue_.Target();
    destination_ = target.destination;
    const std::shared_ptr<const DaemonSettings> settings = queue_.Settings();
    suppressBanner_ = settings->general.suppressBanner;
    minFreeBytes_ = static_cast<uint64_t>(std::max(0, settings->general.minFreeMB)) << 20;
    const int32_t maxJobMB = target.maxJobMB >= 0 ? target.maxJobMB : settings->general.maxJobMB;
    maxJobBytes_ = static_cast<uint64_t>(std::max(0, maxJobMB)) << 20;
    peer_ = connection_.PeerAddress();
    content_.resize(kContentBufferSize);
    PrintQueue::SendAck(connection_);  // the receive-job command itself
    localPrintLog.Log(1, "Socket(%u) : Receive new print job for print queue (%s)\n",
                      connection_.SocketNumber(), queueName_.c_str());

    std::string text;
    std::string endReason;
    while (!ended_) {
        const SubcommandReader::Status status = reader_.ReadLine(text);
        if (status != SubcommandReader::Status::Line) {
            endReason = status == SubcommandReader::Status::Error ? "the connection failed"
                        : connection_.TimedOut()                  ? "the client fell silent"
                                                 : "the client closed the connection";
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
    FinishJob(endReason);
    content_.clear();
    content_.shrink_to_fit();
    return !removedAny_;
}

// --- subcommands -------------------------------------------------------------------------------

// Abort (01): whatever the connection sent for its job goes.
void JobReceiver::Abort() {
    PrintQueue::SendAck(connection_);
    if (job_) {
        Fail("aborted by the client");
    }
    ended_ = true;
}

void JobReceiver::ReceiveControlFile(const SubcommandLine& line) {
    if (line.countText.empty() || line.name.empty()) {
        return;  // ignored: no reply, no log
    }
    localPrintLog.Log(1, "Socket(%u) : Receive control file %s for print queue (%s)\n",
                      connection_.SocketNumber(), EscapeControls(line.name).c_str(),
                      queueName_.c_str());
    // A second control file on one connection is the next job's.
    if (job_ && job_->hasControl) {
        FinishJob("a second control file began the next job");
    }
    if (!job_) {
        StartJob();
    }
    job_->lastClientName = line.name;
    if (line.countOverflow || line.count < 0 || line.count > kControlFileLimit) {
        Refuse("control file " + EscapeControls(line.name) + " of " + line.countText +
               " bytes refused");
        return;
    }
    if (!Admit(true, line.name, line.count)) {
        return;
    }
    UniqueFd file = CreateJobFile(
        true,
        "Socket(%u) :Error - LPDPrinter::RecvJob() - printer(%s) fails in open() for file "
        "%s - last error(%s)\n");
    if (!file) {
        return;
    }
    PrintQueue::SendAck(connection_);
    std::string text;
    uint64_t received = 0;
    if (ReceiveContent(file, line.count, &text, received) == Content::Failed) {
        return;
    }
    job_->control = StoredFile{job_->partial, line.name, received};
    job_->bytes += received;
    job_->controlText = std::move(text);
    job_->hasControl = true;
    job_->partial.clear();
    systemLog.Log(3, "INFO: Control file (%s) received successfully.\n",
                  StoredAs(job_->control).c_str());
    systemLog.Log(3, "INFO: Createing job with state = spooling\n");
    ShowJob(MakeEntry(true));
    FileComplete(file, ReceiveTerminator());
}

void JobReceiver::ReceiveDataFile(const SubcommandLine& line) {
    if (line.countText.empty() || line.name.empty()) {
        systemLog.Log(1,
                      line.countText.empty()
                          ? "Expect file name, but null string read.  Therefore, job (%s) "
                            "rejected.\n"
                          : "Expect file name, but null string read.  Therefore, job (%s) "
                            "rejected.(case 2)\n",
                      JobNameForLog().c_str());
        if (job_) {
            Fail("a data file subcommand without count or name");
        }
        return;
    }
    localPrintLog.Log(1, "Socket(%u) : Receive data file %s for print queue (%s)\n",
                      connection_.SocketNumber(), EscapeControls(line.name).c_str(),
                      queueName_.c_str());
    if (!job_) {
        StartJob();
    }
    job_->lastClientName = line.name;

    // A count beyond the signed 32-bit range announces a file that ends when the client closes
    // the connection: its size is unknown, so the room is checked as for an empty file.
    const bool untilClose = line.UntilClose();
    if (!Admit(false, line.name, untilClose ? 0 : line.count)) {
        return;
    }
    if (job_->data.size() >= kDataFileLimit) {
        Refuse("more than " + std::to_string(kDataFileLimit) + " data files");
        return;
    }
    UniqueFd file = CreateJobFile(
        false,
        "Socket(%u) :Error - LPDPrinter::RecvJob() - print queue(%s) fails in open() for "
        "file %s - last error(%s)\n");
    if (!file) {
        return;
    }
    PrintQueue::SendAck(connection_);
    if (untilClose) {
        localPrintLog.Log(3, "Socket(%u) : data file %s is received until the client closes\n",
                          connection_.SocketNumber(), EscapeControls(line.name).c_str());
        job_->totalKnown = false;
        job_->entry->progress.bytesTotal.store(0);
    } else if (job_->totalKnown) {
        job_->entry->progress.bytesTotal.fetch_add(static_cast<uint64_t>(line.count));
    }
    uint64_t received = 0;
    const Content content = ReceiveContent(file, untilClose ? -1 : line.count, nullptr, received);
    if (content == Content::Failed) {
        return;
    }
    job_->data.push_back(StoredFile{job_->partial, line.name, received});
    job_->bytes += received;
    job_->partial.clear();
    systemLog.Log(3, "INFO: Data file received successfully (%s)\n",
                  StoredAs(job_->data.back()).c_str());
    FileComplete(file,
                 content == Content::CompleteAtClose ? Terminator::Closed : ReceiveTerminator());
}

// --- content ------------------------------------------------------------------------------------

// Never more is read than the count still missing, so the bytes after the content stay in the
// reader for the terminator and the next subcommand. A file cut short ends the reception
// (interruption_ says how); whether the job goes with it is FinishJob's decision: a job that
// was complete before stays.
JobReceiver::Content JobReceiver::ReceiveContent(UniqueFd& file, int64_t count, std::string* text,
                                                 uint64_t& received) {
    received = 0;
    while (count < 0 || static_cast<int64_t>(received) < count) {
        const size_t want =
            count < 0
                ? content_.size()
                : static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(content_.size()),
                                                        count - static_cast<int64_t>(received)));
        const ssize_t got = reader_.ReadSome(content_.data(), want);
        if (got > 0) {
            DumpReceived(content_.data(), static_cast<size_t>(got));
            if (!WriteAll(file.Get(), content_.data(), static_cast<size_t>(got))) {
                const int error = errno;
                systemLog.Log(1,
                              "Socket(%u) : Error - LPDPrinter::RecvJob() - printer(%s) fails in "
                              "write() for file %s - last error(%s)\n",
                              connection_.SocketNumber(), destination_.c_str(),
                              store_->PathOf(job_->partial).c_str(), ErrorText(error).c_str());
                Refuse("file " + EscapeControls(job_->lastClientName) + " could not be written");
                return Content::Failed;
            }
            if (text != nullptr) {
                text->append(content_.data(), static_cast<size_t>(got));
            }
            job_->entry->progress.Add(static_cast<uint64_t>(got));
            received += static_cast<uint64_t>(got);
            if (!WithinLimits(received, static_cast<uint64_t>(got), count < 0)) {
                return Content::Failed;
            }
            continue;
        }
        // A stream ends at the close; a reset there is how some clients close after their last
        // byte (and indistinguishable from any other close for a file of unknown length).
        if (count < 0 && !connection_.TimedOut() &&
            (got == 0 || connection_.LastError() == ECONNRESET)) {
            return Content::CompleteAtClose;
        }
        const std::string name = EscapeControls(job_->lastClientName);
        if (got < 0) {
            systemLog.Log(1,
                          "LPDPrinter::RecvJob() - fail in recv() for Queue %s - last "
                          "error(%s)\n",
                          destination_.c_str(), ErrorText(connection_.LastError()).c_str());
            interruption_ = "the connection failed in the middle of file " + name;
        } else if (connection_.TimedOut()) {
            systemLog.Log(1, "LPDPrinter::RecvJob() - fail in recv() for Queue %s - no data\n",
                          destination_.c_str());
            interruption_ = "the client fell silent in the middle of file " + name;
        } else {
            systemLog.Log(1, "LPDPrinter::RecvJob() - fail in recv() for Queue %s - read 0 byte\n",
                          destination_.c_str());
            interruption_ = "the client closed the connection in the middle of file " + name;
        }
        ended_ = true;
        return Content::Failed;
    }
    return Content::Complete;
}

// The byte after a counted file's content.
JobReceiver::Terminator JobReceiver::ReceiveTerminator() {
    if (reader_.Buffered() == 0) {
        // Acknowledge the content now: a client whose zero waits for that acknowledgement
        // (Nagle's rule, as LPRng's lpr writes it) would otherwise wait out the delayed one.
        const int one = 1;
        ::setsockopt(connection_.Fd(), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    }
    char byte = 0;
    const ssize_t got = reader_.ReadSome(&byte, 1);
    if (got <= 0) {
        return Terminator::Closed;
    }
    DumpReceived(&byte, 1);
    if (byte == '\0') {
        return Terminator::Zero;
    }
    char shown[8];
    std::snprintf(shown, sizeof shown, "0x%02x", static_cast<unsigned char>(byte));
    Refuse("file " + EscapeControls(job_->lastClientName) + " ended with " + shown +
           " instead of the terminating zero");
    return Terminator::Refused;
}

// The file is whole: on the disk first (with SyncSpool), then, when it made the job complete,
// the job's manifest, and only then the acknowledgement. A close instead of the terminating
// zero ends the reception; FinishJob commits the job then.
void JobReceiver::FileComplete(UniqueFd& file, Terminator terminator) {
    if (terminator == Terminator::Refused) {
        return;
    }
    int error = 0;
    const bool settled = store_->Settle(file.Get(), error);
    file.Reset();
    if (!settled) {
        Refuse("file " + EscapeControls(job_->lastClientName) +
               " could not be stored: " + ErrorText(error));
        return;
    }
    if (terminator == Terminator::Closed) {
        ended_ = true;
        return;
    }
    if (job_->failure.empty() && Complete(nullptr) && !Commit()) {
        return;
    }
    PrintQueue::SendAck(connection_);
}

std::string JobReceiver::StoredAs(const StoredFile& file) const {
    return EscapeControls(file.clientName) + " as " + store_->PathOf(file.storeName);
}

// --- the job -----------------------------------------------------------------------------------

void JobReceiver::StartJob() {
    job_ = std::make_unique<Incoming>();
    job_->id = store_->NewId();
    job_->record.timeDate = LocalTimeDate();
    job_->record.origin = peer_;
}

// The job's first file also gives the job its id: should a file of that id exist already
// (left behind by something else), the job takes the next id.
UniqueFd JobReceiver::CreateJobFile(bool control, const char* failureFormat) {
    const bool firstFile = !job_->hasControl && job_->data.empty();
    int error = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = control ? JobStore::ControlName(job_->id)
                                         : JobStore::DataName(job_->id, job_->nextData);
        UniqueFd file = store_->Create(name, error);
        if (file) {
            job_->partial = name;
            if (!control) {
                ++job_->nextData;
            }
            if (!job_->entry) {
                ShowJob(MakeEntry(false));
            }
            return file;
        }
        if (error != EEXIST) {
            break;
        }
        if (firstFile) {
            job_->id = store_->NewId();
        } else if (!control) {
            ++job_->nextData;
        } else {
            break;
        }
    }
    systemLog.Log(1, failureFormat, connection_.SocketNumber(), destination_.c_str(),
                  store_
                      ->PathOf(control ? JobStore::ControlName(job_->id)
                                       : JobStore::DataName(job_->id, job_->nextData))
                      .c_str(),
                  ErrorText(error).c_str());
    Refuse("file " + EscapeControls(job_->lastClientName) + " could not be created");
    return UniqueFd();
}

// What the queue lists for the job while it arrives: before its control file only what the
// first file's name says, afterwards the control file's fields too.
std::shared_ptr<JobEntry> JobReceiver::MakeEntry(bool withControl) const {
    JobRecord record = job_->record;
    record.id = job_->id;
    if (withControl) {
        record.control = job_->control;
    } else {
        record.control.clientName = job_->lastClientName;
    }
    auto entry =
        JobEntry::Make(record, withControl ? job_->controlText : std::string(), suppressBanner_);
    entry->SetState(JobState::Spooling);
    entry->SetStatusText("receiving from " + peer_.Text());
    return entry;
}

// Puts entry in the queue's list in place of the job's current one.
void JobReceiver::ShowJob(std::shared_ptr<JobEntry> entry) {
    if (job_->entry) {
        entry->progress.CopyFrom(job_->entry->progress);
        // A queue that is closing lists nothing any more; the job is finished all the same and,
        // once complete, taken back at the next start.
        if (queue_.ReplaceJob(job_->entry.get(), entry) == PrintQueue::Placement::Removed) {
            Fail("removed while it was received");
        }
    } else {
        queue_.AddJob(entry);
    }
    job_->entry = std::move(entry);
}

// Complete: a control file, naming at least one data file, each of which has arrived whole (the
// last one of that name when a client sent a name twice). record gets the job as it is then.
bool JobReceiver::Complete(JobRecord* record) const {
    if (!job_->hasControl) {
        return false;
    }
    const std::vector<std::string> names = JobEntry::PrintedFiles(job_->controlText);
    if (names.empty()) {
        return false;
    }
    std::vector<StoredFile> data;
    for (const std::string& name : names) {
        auto found =
            std::find_if(job_->data.rbegin(), job_->data.rend(),
                         [&name](const StoredFile& file) { return file.clientName == name; });
        if (found == job_->data.rend()) {
            return false;
        }
        data.push_back(*found);
    }
    if (record != nullptr) {
        *record = job_->record;
        record->id = job_->id;
        record->control = job_->control;
        record->data = std::move(data);
    }
    return true;
}

// The manifest is written (again, when a later file changed what the job prints) before the
// client hears that the job's last file has arrived.
bool JobReceiver::Commit() {
    JobRecord record;
    Complete(&record);
    if (job_->entry && queue_.Locate(job_->entry.get()) == PrintQueue::Placement::Removed) {
        Fail("removed while it was received");
        return true;  // the reception goes on; nothing of the job will stay
    }
    if (job_->committed && JobStore::FileNames(record) == JobStore::FileNames(job_->record)) {
        return true;
    }
    record.sequence = job_->record.sequence;
    record.arrivalTime = job_->record.arrivalTime;
    int error = 0;
    if (!store_->Commit(record, error)) {
        systemLog.Log(1,
                      "Socket(%u) :Error - LPDPrinter::RecvJob() - print queue(%s) fails to "
                      "store job %" PRIu64 " - %s\n",
                      connection_.SocketNumber(), queueName_.c_str(), job_->id,
                      ErrorText(error).c_str());
        Refuse("the job could not be stored");
        return false;
    }
    job_->record = std::move(record);
    job_->committed = true;
    return true;
}

void JobReceiver::FinishJob(const std::string& endReason) {
    if (!job_) {
        return;
    }
    if (!job_->failure.empty()) {
        Discard(job_->failure);
    } else if (Complete(nullptr)) {
        if (Commit() && job_->failure.empty()) {
            Release();
        } else {
            Discard(job_->failure);
        }
    } else if (!interruption_.empty()) {
        Discard(interruption_);
    } else if (!job_->hasControl) {
        Discard(endReason + " before a control file came");
    } else {
        std::string missing;
        for (const std::string& name : JobEntry::PrintedFiles(job_->controlText)) {
            if (std::none_of(job_->data.begin(), job_->data.end(),
                             [&name](const StoredFile& file) { return file.clientName == name; })) {
                missing += (missing.empty() ? "" : ", ") + EscapeControls(name);
            }
        }
        Discard(missing.empty() ? "its control file names no data file to print"
                                : endReason + " before data file " + missing + " came");
    }
    job_.reset();
    interruption_.clear();
}

// The job joins its queue's printable jobs; data files that its control file does not name go.
void JobReceiver::Release() {
    std::vector<std::string> unnamed;
    const std::vector<std::string> kept = JobStore::FileNames(job_->record);
    for (const StoredFile& file : job_->data) {
        if (std::find(kept.begin(), kept.end(), file.storeName) == kept.end()) {
            unnamed.push_back(file.storeName);
        }
    }
    if (!job_->partial.empty()) {
        unnamed.push_back(job_->partial);
    }
    store_->RemoveFiles(unnamed);

    auto entry = JobEntry::Make(job_->record, job_->controlText, suppressBanner_);
    entry->progress.Start(job_->record.TotalSize());
    entry->progress.bytesDone.store(0);
    entry->SetState(JobState::Waiting);
    entry->SetStatusText("waiting");
    switch (queue_.ReplaceJob(job_->entry.get(), entry)) {
        case PrintQueue::Placement::Done:
            systemLog.Log(3, "INFO: Change job state from spooling to ready\n");
            return;
        case PrintQueue::Placement::Closed:
            // Shut down meanwhile: the job is complete on disk and is taken back at the next
            // start.
            systemLog.Log(2, "Print queue %s : job %" PRIu64 " kept for the next start\n",
                          queueName_.c_str(), job_->id);
            return;
        case PrintQueue::Placement::Removed:
            Discard("removed while it was received");
            return;
    }
}

void JobReceiver::Discard(const std::string& reason) {
    std::vector<std::string> names = JobStore::FileNames(job_->record);
    if (job_->hasControl) {
        names.push_back(job_->control.storeName);
    }
    for (const StoredFile& file : job_->data) {
        names.push_back(file.storeName);
    }
    if (!job_->partial.empty()) {
        names.push_back(job_->partial);
    }
    store_->Remove(job_->id, names);
    if (job_->entry) {
        queue_.DropJob(job_->entry.get());
    }
    removedAny_ = true;
    systemLog.Log(
        1,
        "Socket(%u) : LPDPrinter::RecvJob() - print queue (%s).  Remove failed job (%s) "
        "filename(%s).  %s\n",
        connection_.SocketNumber(), destination_.c_str(), JobNameForLog().c_str(),
        EscapeControls(job_->hasControl ? job_->control.clientName : job_->lastClientName).c_str(),
        reason.c_str());
}

// The job can no longer become complete; the first reason is the one logged.
void JobReceiver::Fail(const std::string& reason) {
    if (job_ && job_->failure.empty()) {
        job_->failure = reason;
    }
}

// A NACK: the client hears that its job failed, so nothing of it may stay.
void JobReceiver::Refuse(const std::string& reason) {
    PrintQueue::SendNack(connection_);
    Fail(reason);
    ended_ = true;
}

// A file of size bytes (0: of unknown length) must leave MinFreeMB free and keep the job within
// MaxJobMB.
bool JobReceiver::Admit(bool control, const std::string& name, int32_t size) {
    const std::string file = (control ? "control file " : "data file ") + EscapeControls(name);
    if (!CheckFreeSpace(size)) {
        systemLog.Log(1, "No free spaces available for print file %s with size %d\n",
                      EscapeControls(name).c_str(), size);
        Refuse("no room for " + file);
        return false;
    }
    if (maxJobBytes_ > 0 && job_->bytes + static_cast<uint64_t>(size) > maxJobBytes_) {
        Refuse(file + " of " + std::to_string(size) + " bytes would make the job larger than " +
               std::to_string(maxJobBytes_ >> 20) + " MB (MaxJobMB)");
        return false;
    }
    sinceSpaceCheck_ = 0;
    return true;
}

// A file of unknown length is held to MaxJobMB as it grows; every file is held to MinFreeMB
// while it arrives, as other connections take room too.
bool JobReceiver::WithinLimits(uint64_t received, uint64_t piece, bool untilClose) {
    const std::string name = EscapeControls(job_->lastClientName);
    if (untilClose && maxJobBytes_ > 0 && job_->bytes + received > maxJobBytes_) {
        Refuse("data file " + name + " grew past " + std::to_string(maxJobBytes_ >> 20) +
               " MB (MaxJobMB)");
        return false;
    }
    sinceSpaceCheck_ += piece;
    if (minFreeBytes_ == 0 || sinceSpaceCheck_ < kSpaceCheckBytes) {
        return true;
    }
    sinceSpaceCheck_ = 0;
    VolumeSpace space;
    int error = 0;
    if (QueryVolumeSpace(store_->Directory(), space, error) &&
        space.freeClusters * space.bytesPerSector * space.sectorsPerCluster < minFreeBytes_) {
        Refuse("the spool volume fell below " + std::to_string(minFreeBytes_ >> 20) +
               " MB free (MinFreeMB) during file " + name);
        return false;
    }
    return true;
}

// On Linux statvfs answers for any path on a volume, so the store's directory itself is
// queried. A negative count is refused without asking: taken as unsigned it is above 2 GB, and
// a file announced with a negative length could never be received.
bool JobReceiver::CheckFreeSpace(int32_t size) {
    if (size < 0) {
        return false;
    }
    const std::string& base = store_->Directory();
    VolumeSpace space;
    int error = 0;
    if (!QueryVolumeSpace(base, space, error)) {
        systemLog.Log(1,
                      "Error in Calling statvfs() for spool base directory %s - last "
                      "error(%s)\n",
                      base.c_str(), ErrorText(error).c_str());
        return false;
    }
    return EnoughFreeSpace(static_cast<uint32_t>(size), space, minFreeBytes_);
}

void JobReceiver::DumpReceived(const char* data, size_t length) {
    if (length > 0 && TraceOn()) {
        localPrintLog.HexDump("Received Data", data, static_cast<int32_t>(length));
    }
}

std::string JobReceiver::JobNameForLog() const {
    if (job_ && job_->entry && !job_->entry->jobName.empty()) {
        return EscapeControls(job_->entry->jobName);
    }
    return " ";
}

}  // namespace pg
