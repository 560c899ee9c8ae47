#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/JobRecord.h"
#include "engine/SubcommandReader.h"
#include "platform/FreeSpace.h"
#include "platform/UniqueFd.h"

namespace pg {

class PrintQueue;
class JobEntry;
class JobStore;
class ClientConnection;
struct SubcommandLine;

// Serves one receive-job command (the queue's RecvJob): acknowledges it, then receives control
// and data files into the queue's job store under names the store chooses, all or nothing:
//
// - A job is complete when its control file and every data file that the control file names
//   for printing have arrived whole. Its manifest is then written (and, with SyncSpool, put on
//   the disk) before the acknowledgement of its last file, so a job the client saw acknowledged
//   in full survives any crash.
// - While its files arrive the job is listed by its queue (state spooling) but the printing
//   thread does not see it. It becomes printable when the reception ends: the client closes,
//   the connection breaks or falls silent after the last file, or a second control file on the
//   same connection starts the next job.
// - Any other end removes the job's files and its entry at once, with a level-1 line saying why:
//   an abort (01), a NACK (a file refused or not stored), the connection ending or falling
//   silent (LocalCmdTimeout) in the middle of a file, a control file naming files that never
//   came, a job without a control file. Data files nobody names go when the job is released.
//
// Framing is by count: the bytes a subcommand announces are content, however they were cut
// into reads, and the byte after them must be the terminating zero, which is awaited before the
// file is acknowledged (RFC 1179's order; LPRng's lpr reports a protocol error otherwise). A
// client that closes instead of sending it (CUPS's lpd backend in stream mode) has still sent
// the file whole. A count beyond 32 bits announces a data file that ends at the client's close.
//
// Limits, each a NACK that removes the whole job: a control file over 1 MB; a file announced
// while the spool volume would keep less than MinFreeMB free, or that takes it below that while
// it arrives; a job larger than its queue's MaxJobMB, refused when a file announces more or
// when a file of unknown length grows past it.
class JobReceiver {
  public:
    // Clusters that are always left free on the spool volume, whatever MinFreeMB says.
    static constexpr uint64_t kFreeClusterMargin = 100;
    // A file's content is checked against MinFreeMB after each this many bytes.
    static constexpr uint64_t kSpaceCheckBytes = 1 << 20;
    // File content is read in pieces of at most this size and written at once.
    static constexpr size_t kContentBufferSize = 64 * 1024;
    // A control file is held in memory to be read; larger ones are refused.
    static constexpr int32_t kControlFileLimit = 1 << 20;
    // Data files one job may bring.
    static constexpr size_t kDataFileLimit = 1000;

    JobReceiver(PrintQueue& queue, ClientConnection& connection);
    JobReceiver(const JobReceiver&) = delete;
    JobReceiver& operator=(const JobReceiver&) = delete;

    // False when the reception removed a job it had begun; true otherwise.
    bool Run();

    // True when a file of size bytes leaves the margin free: the clusters it needs (size
    // divided by the bytes per sector, then by the sectors per cluster, each rounding down)
    // plus the margin must be fewer than the free clusters. The margin is kFreeClusterMargin
    // clusters, or minFreeBytes when that is more.
    static bool EnoughFreeSpace(uint32_t size, const VolumeSpace& space, uint64_t minFreeBytes);

  private:
    // The job of this connection whose files are arriving.
    struct Incoming {
        uint64_t id = 0;
        uint32_t nextData = 1;
        bool hasControl = false;
        StoredFile control;
        std::string controlText;
        std::vector<StoredFile> data;     // complete data files, in the order they came
        std::string partial;              // the store name of a file not yet complete
        uint64_t bytes = 0;               // of its complete files
        std::string lastClientName;       // of the most recent file, for the log lines
        std::string failure;              // why it cannot become complete; empty while it can
        bool committed = false;           // its manifest is written
        JobRecord record;                 // as committed
        std::shared_ptr<JobEntry> entry;  // what its queue lists while it arrives
        bool totalKnown = true;
    };
    enum class Content { Complete, CompleteAtClose, Failed };
    enum class Terminator { Zero, Closed, Refused };

    void Abort();
    void ReceiveControlFile(const SubcommandLine& line);
    void ReceiveDataFile(const SubcommandLine& line);
    // Receives count bytes (count < 0: until the client closes) into file, and text when given.
    Content ReceiveContent(UniqueFd& file, int64_t count, std::string* text, uint64_t& received);
    // After a counted file: the terminating zero; a close or silence instead (the file is whole
    // all the same); any other byte is refused.
    Terminator ReceiveTerminator();
    void FileComplete(UniqueFd& file, Terminator terminator);
    std::string StoredAs(const StoredFile& file) const;

    void StartJob();
    UniqueFd CreateJobFile(bool control, const char* failureFormat);
    void ShowJob(std::shared_ptr<JobEntry> entry);
    std::shared_ptr<JobEntry> MakeEntry(bool withControl) const;
    bool Complete(JobRecord* record) const;
    bool Commit();
    // Ends the job of this connection: released when it is complete and nothing went wrong,
    // removed otherwise.
    void FinishJob(const std::string& endReason);
    void Release();
    void Discard(const std::string& reason);
    void Fail(const std::string& reason);
    void Refuse(const std::string& reason);

    // The room and size checks of a file announced with size bytes (0: of unknown length);
    // false when the file was refused.
    bool Admit(bool control, const std::string& name, int32_t size);
    bool CheckFreeSpace(int32_t size);
    // After more of a file's content: false when the file was cut off for a limit.
    bool WithinLimits(uint64_t received, uint64_t piece, bool untilClose);
    void DumpReceived(const char* data, size_t length);
    std::string JobNameForLog() const;

    PrintQueue& queue_;
    ClientConnection& connection_;
    std::shared_ptr<JobStore> store_;
    SubcommandReader reader_;
    std::vector<char> content_;  // one piece of file content
    std::string queueName_;
    std::string destination_;
    bool suppressBanner_ = false;
    uint64_t minFreeBytes_ = 0;  // MinFreeMB
    uint64_t maxJobBytes_ = 0;   // the queue's MaxJobMB; 0: no limit
    uint64_t sinceSpaceCheck_ = 0;
    PeerAddress peer_;
    std::unique_ptr<Incoming> job_;  // null between jobs
    std::string interruption_;       // how a file was cut short, when one was
    bool ended_ = false;             // the subcommand loop ends
    bool removedAny_ = false;        // a job of this connection was removed
};

}  // namespace pg
