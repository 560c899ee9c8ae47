#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace pg {

// An open printer of the print system: the raw-printing calls the local delivery needs
// (open by name, raw document with a name, pages, byte writes with the count accepted, end of
// document, close). Every failing call returns false and leaves an error code in LastError()
// for the log lines (an errno value, or libcups's IPP status for the cups system) and the name
// of the system or library call that failed in FailedCall().
//
// Writes are buffered: Write() only copies into the buffer (sending it on when full), so one
// call per byte costs no system call per byte; Flush() sends what is buffered and reports
// whether it all went. StartPage(), EndPage() and EndDocument() flush first. Destroying the
// handle closes the printer, cancelling a document that was started and not ended (for cups the
// job is cancelled; a devices printer keeps what was written before the last flush).
class PrinterHandle {
  public:
    virtual ~PrinterHandle() = default;

    // Starts a document named documentName (the job's title) on behalf of requestingUser (the
    // job's owner; empty: this process's user). fileName is the name of the file it was printed
    // from, for print systems that store documents as files (empty: documentName).
    virtual bool StartDocument(const std::string& documentName,
                               const std::string& requestingUser = std::string(),
                               const std::string& fileName = std::string()) = 0;
    virtual bool StartPage() = 0;
    // Takes up to length bytes; written is how many were accepted. False on a failure (then
    // written < length).
    virtual bool Write(const void* data, size_t length, size_t& written) = 0;
    virtual bool Flush() = 0;
    virtual bool EndPage() = 0;
    virtual bool EndDocument() = 0;

    virtual int LastError() const = 0;
    // "write()", "cupsCreateJob()", ...: what failed last ("" before any failure).
    virtual const char* FailedCall() const = 0;

    // May be called from another thread while the handle is in use: a write that is waiting
    // for the printer (a stalled device, a full pipe) ends at once, and every later write
    // fails with ECANCELED. Stopping a queue uses it so a stuck printer cannot hold it.
    virtual void Cancel() {}
};

// A print system, chosen by the PrintSystem key:
//  - "cups": raw documents through libcups, on the server the usual CUPS_SERVER environment
//    names; printers and the default from the CUPS destinations; error codes are IPP status
//    values (0x0506: the queue rejects jobs), or ECONNREFUSED when no scheduler answers;
//  - "devices:DIR": every entry of DIR is a printer (sorted by name; the default is the name in
//    DIR/.default, else the first). A directory receives each document as a new file
//    "NNNNNN-<file name>" (a 6-digit sequence from 000001; the name made safe for a file
//    name: control characters, '/' and '\' become '_', a leading '.' becomes '_'); any other
//    entry, or a symlink to one such as /dev/usb/lp0, receives the bytes written; error codes
//    are errno values (ENOENT: no such printer, ENOSPC: device full).
// All operations may be called from several threads at once.
class PrintSystem {
  public:
    virtual ~PrintSystem() = default;

    // Null, with a reason in *error, for a PrintSystem value that names no print system.
    static std::unique_ptr<PrintSystem> Create(const std::string& choice, std::string* error);

    // Null when the printer cannot be opened (no such printer, no scheduler); error gets the
    // code.
    virtual std::unique_ptr<PrinterHandle> Open(const std::string& printerName, int& error) = 0;
    // The call whose failure gave Open() that error code ("stat()", "cupsGetNamedDest()").
    virtual const char* OpenCall(int error) const = 0;
    virtual std::vector<std::string> Printers() = 0;
    // Empty when there is none.
    virtual std::string DefaultPrinter() = 0;
    // Whether the print system can be used at all (the scheduler answers, the folder exists);
    // false with the reason and what to do when not.
    virtual bool Usable(std::string& reason) = 0;
};

// An error code of the print layer as log lines and messages show it: libcups's IPP status
// (0x0400 and above) as "0x0506: client-error-not-accepting-jobs", anything else as an errno
// value ("13: Permission denied").
std::string PrintErrorText(int code);

}  // namespace pg
