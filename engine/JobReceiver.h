#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/SpoolFileName.h"
#include "engine/SubcommandReader.h"
#include "platform/FreeSpace.h"
#include "platform/UniqueFd.h"

namespace pg {

class PrintQueue;
class JobEntry;
class ClientConnection;
struct SubcommandLine;

// Serves one receive-job command (the queue's RecvJob): acknowledges it, receives the control
// and data files into the queue's spool directory under the names the client gives, reads each
// control file back into a JobEntry that joins the queue at once, and makes the job waiting
// when its data have arrived. A reception that ends failed removes the job it created.
//
// The reception touches the queue only through AddJob, JobReceived and RemoveJob, and keeps
// nothing but a weak reference to its job: a remove-jobs request may take the job away while
// its files are still arriving.
class JobReceiver {
  public:
    // Reads of zero bytes in a data file's content are retried after this pause; the seventh
    // in a row ends the reception.
    static constexpr std::chrono::milliseconds kZeroReadPause{2000};
    static constexpr int kZeroReadLimit = 7;
    // Clusters that are always left free on the spool volume.
    static constexpr uint64_t kFreeClusterMargin = 100;
    // File content is read in pieces of at most this size and written at once.
    static constexpr size_t kContentBufferSize = 64 * 1024;

    JobReceiver(PrintQueue& queue, ClientConnection& connection,
                std::chrono::milliseconds zeroReadPause = kZeroReadPause);
    JobReceiver(const JobReceiver&) = delete;
    JobReceiver& operator=(const JobReceiver&) = delete;

    // False when the reception failed and removed the job it had created; true otherwise.
    bool Run();

    // True when a file of size bytes leaves the margin free: the clusters it needs (size
    // divided by the bytes per sector, then by the sectors per cluster, each rounding down)
    // plus the margin must be fewer than the free clusters.
    static bool EnoughFreeSpace(uint32_t size, const VolumeSpace& space);
    // A name the reception writes a file under: not empty, not "." or "..", and without '/'
    // or a zero byte, so no file is ever written outside the queue's spool directory.
    static bool AcceptableFileName(const std::string& name);

  private:
    void Abort();
    void ReceiveControlFile(const SubcommandLine& line);
    void ReceiveDataFile(const SubcommandLine& line);
    // The content of a control file of count bytes; false when the file is not to be read back.
    void ReceiveControlContent(UniqueFd& file, int32_t count);
    void ReceiveCountedData(UniqueFd& file, int32_t count);
    void ReceiveDataUntilClose(UniqueFd& file);
    // A data file is complete: the job of this connection may become waiting.
    void DataFileComplete(bool sendAck);
    UniqueFd CreateSpoolFile(const char* failureFormat);
    void CreateJob(const std::string& controlText);
    void ReleaseJob();
    // A zero-byte read during a data file: waits the pause; true on the last one allowed.
    bool ZeroReadLimitReached();
    bool WriteDataContent(UniqueFd& file, size_t length);
    void AbortJob();
    void FailReadingData(UniqueFd& file, bool closed);
    bool StartFile(const char* kind, const std::string& name);
    void DiscardUntilClose();
    bool CheckFreeSpace(int32_t size);
    void DeleteJobFiles();
    void DumpReceived(const char* data, size_t length);
    bool IsAbortByte(ssize_t got) const;
    // The job's name for log lines, a single blank when this connection has no job.
    std::string JobNameForLog() const;

    PrintQueue& queue_;
    ClientConnection& connection_;
    const std::chrono::milliseconds zeroReadPause_;
    SubcommandReader reader_;
    std::vector<char> content_;    // one piece of file content
    std::string spoolDirectory_;   // the queue's spool directory
    SpoolFileName lastName_;       // the most recent control or data file name, analysed
    std::string path_;             // the most recent file's full path
    std::weak_ptr<JobEntry> job_;  // the job of this connection's latest control file
    bool ended_ = false;           // the subcommand loop ends
    bool failed_ = false;          // the reception failed: its job is removed at the end
    bool dataReceived_ = false;    // a data file of this connection is complete
    int zeroReads_ = 0;            // zero-byte reads in a row during a data file
};

}  // namespace pg
