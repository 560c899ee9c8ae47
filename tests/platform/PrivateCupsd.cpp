#include "tests/platform/PrivateCupsd.h"

#include <cups/cups.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/Loopback.h"
#include "tests/support/TempDir.h"

namespace pg::test {

namespace {

constexpr const char* kCupsd = "/usr/sbin/cupsd";

bool Answers(const std::string& socketPath) {
    http_t* http = httpConnect2(socketPath.c_str(), ippPort(), nullptr, AF_UNSPEC,
                                HTTP_ENCRYPTION_NEVER, 1, 1000, nullptr);
    httpClose(http);
    return http != nullptr;
}

// A PPD with nothing but the pass-through filter for every raw type.
std::string PassThroughPpd(const std::string& filter) {
    std::string ppd = "*PPD-Adobe: \"4.3\"\n";
    for (const char* type :
         {"application/vnd.cups-raw", "application/octet-stream", "text/plain"}) {
        ppd += std::string("*cupsFilter: \"") + type + " 0 " + filter + "\"\n";
    }
    return ppd;
}

}  // namespace

PrivateCupsd::~PrivateCupsd() {
    Stop();
    std::error_code ignored;  // none made when directory_ is empty
    std::filesystem::remove_all(directory_, ignored);
}

std::string PrivateCupsd::Output(const std::string& queue) const {
    return ReadFile(directory_ + "/out/" + queue);
}

std::string PrivateCupsd::ErrorLog() const {
    return ReadFile(directory_ + "/log/error_log");
}

bool PrivateCupsd::Start(const std::vector<Queue>& queues, std::string* error) {
    std::string ignored;
    std::string& reason = error ? *error : ignored;
    Stop();
    if (::geteuid() != 0 || ::access(kCupsd, X_OK) != 0) {
        reason = "a private cupsd needs root (it runs its filters as user lp) and " +
                 std::string(kCupsd) + " (package cups-daemon)";
        return false;
    }
    if (directory_.empty()) {
        // Under /tmp whatever TMPDIR says: the socket path must stay short (108 bytes) and
        // every directory above must be traversable by lp.
        char pattern[] = "/tmp/pg-cupsd-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            reason = "mkdtemp failed";
            return false;
        }
        directory_ = pattern;
        ::chmod(pattern, 0755);
    }
    const std::string& d = directory_;
    for (const char* sub : {"out", "ppd", "cache", "spool", "tmp", "log", "state"}) {
        std::filesystem::create_directories(d + "/" + sub);
    }
    // cupsd refuses filters that are not owned by root or that others could change.
    WriteFile(d + "/passthru", "#!/bin/sh\nexec cat \"$6\"\n");
    ::chmod((d + "/passthru").c_str(), 0555);
    WriteFile(d + "/cupsd.conf", "Listen " + SocketPath() +
                                     "\nBrowsing Off\nWebInterface No\nDefaultAuthType None\n"
                                     "LogLevel info\n<Policy default>\n  <Limit All>\n"
                                     "    Order deny,allow\n  </Limit>\n</Policy>\n");
    WriteFile(d + "/cups-files.conf",
              "ServerRoot " + d + "\nStateDir " + d + "/state\nCacheDir " + d +
                  "/cache\nRequestRoot " + d + "/spool\nTempDir " + d + "/tmp\nErrorLog " + d +
                  "/log/error_log\nAccessLog " + d + "/log/access_log\nPageLog " + d +
                  "/log/page_log\nPrintcap " + d +
                  "/printcap\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                  "FileDevice Yes\nSystemGroup root\n");
    std::string printers;
    for (const Queue& queue : queues) {
        const std::string tag = queue.isDefault ? "DefaultPrinter" : "Printer";
        printers += "<" + tag + " " + queue.name +
                    ">\nMakeModel Pass-through\nDeviceURI file:" + d + "/out/" + queue.name +
                    "\nState Idle\nAccepting " + (queue.accepting ? "Yes" : "No") +
                    "\nShared No\nJobSheets none none\nErrorPolicy abort-job\n</" + tag + ">\n";
        WriteFile(d + "/ppd/" + queue.name + ".ppd", PassThroughPpd(d + "/passthru"));
    }
    WriteFile(d + "/printers.conf", printers);
    ::chmod((d + "/printers.conf").c_str(), 0600);

    Process::Options options;
    options.argv = {kCupsd, "-f", "-c", d + "/cupsd.conf", "-s", d + "/cups-files.conf"};
    cupsd_ = std::make_unique<Process>(options);
    const auto ended = [this] { return cupsd_->Wait(std::chrono::milliseconds(0)).has_value(); };
    if (!WaitUntil([&] { return ended() || Answers(SocketPath()); }, std::chrono::seconds(10)) ||
        ended()) {
        cupsd_->CollectOutput();
        reason = "cupsd does not answer on " + SocketPath() + ":\n" + cupsd_->Stderr() + ErrorLog();
        Stop();
        return false;
    }
    ::unsetenv("LPDEST");
    ::unsetenv("PRINTER");
    ::setenv("CUPS_SERVER", SocketPath().c_str(), 1);
    cupsSetServer(nullptr);  // libcups keeps the server it found per thread: look again

    return true;
}

void PrivateCupsd::Stop() {
    if (cupsd_ != nullptr) {
        cupsd_->Signal(SIGTERM);
        cupsd_->Wait(std::chrono::seconds(5));
        cupsd_.reset();  // a cupsd still running is killed
    }
}

std::vector<std::string> PrivateCupsd::Jobs(const std::string& queue, bool activeOnly) const {
    std::vector<std::string> jobs;
    http_t* http = httpConnect2(SocketPath().c_str(), ippPort(), nullptr, AF_UNSPEC,
                                HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    if (http == nullptr) {
        return jobs;
    }
    cups_job_t* list = nullptr;
    const int count = cupsGetJobs2(http, &list, queue.empty() ? nullptr : queue.c_str(), 0,
                                   activeOnly ? CUPS_WHICHJOBS_ACTIVE : CUPS_WHICHJOBS_ALL);
    for (int i = 0; i < count; ++i) {
        jobs.push_back(std::string(list[i].title) + " by " + list[i].user);
    }
    cupsFreeJobs(count, list);
    httpClose(http);
    return jobs;
}

bool PrivateCupsd::WaitUntilIdle(std::chrono::milliseconds timeout) const {
    return WaitUntil([this] { return Jobs("", true).empty(); }, timeout);
}

}  // namespace pg::test
