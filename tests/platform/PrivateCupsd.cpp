#include "tests/platform/PrivateCupsd.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <thread>
#include <utility>

extern char** environ;

namespace pg::test {

namespace {

constexpr const char* kCupsd = "/usr/sbin/cupsd";

bool WriteText(const std::string& path, const std::string& text, mode_t mode, std::string* error) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            if (error != nullptr) {
                *error = "cannot write " + path;
            }
            return false;
        }
    }
    ::chmod(path.c_str(), mode);
    return true;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// "Key value" lines of a CUPS configuration file.
std::string Directives(std::initializer_list<std::pair<const char*, std::string>> lines) {
    std::string text;
    for (const auto& [key, value] : lines) {
        text += std::string(key) + " " + value + "\n";
    }
    return text;
}

// A PPD with nothing but a page size and the pass-through filter for every raw type.
std::string PassThroughPpd(const std::string& filter) {
    std::string ppd =
        "*PPD-Adobe: \"4.3\"\n"
        "*FormatVersion: \"4.3\"\n"
        "*FileVersion: \"1.0\"\n"
        "*LanguageVersion: English\n"
        "*LanguageEncoding: ISOLatin1\n"
        "*PCFileName: \"PASSTHRU.PPD\"\n"
        "*Manufacturer: \"Test\"\n"
        "*Product: \"(Pass-through)\"\n"
        "*ModelName: \"Pass-through\"\n"
        "*ShortNickName: \"Pass-through\"\n"
        "*NickName: \"Pass-through\"\n"
        "*PSVersion: \"(3010.000) 0\"\n"
        "*LanguageLevel: \"3\"\n"
        "*ColorDevice: False\n"
        "*DefaultColorSpace: Gray\n"
        "*FileSystem: False\n"
        "*Throughput: \"1\"\n"
        "*LandscapeOrientation: Plus90\n"
        "*TTRasterizer: Type42\n";
    for (const char* type :
         {"application/vnd.cups-raw", "application/octet-stream", "text/plain"}) {
        ppd += std::string("*cupsFilter: \"") + type + " 0 " + filter + "\"\n";
    }
    ppd +=
        "*OpenUI *PageSize: PickOne\n"
        "*DefaultPageSize: A4\n"
        "*PageSize A4: \"\"\n"
        "*CloseUI: *PageSize\n"
        "*DefaultImageableArea: A4\n"
        "*ImageableArea A4: \"0 0 595 842\"\n"
        "*DefaultPaperDimension: A4\n"
        "*PaperDimension A4: \"595 842\"\n";
    return ppd;
}

}  // namespace

PrivateCupsd::PrivateCupsd() = default;

PrivateCupsd::~PrivateCupsd() {
    Stop();
    if (environmentSet_) {
        PointLibcupsAt(previousServer_ ? previousServer_->c_str() : nullptr);
    }
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
}

std::string PrivateCupsd::OutputPath(const std::string& queue) const {
    return directory_ + "/out/" + queue;
}

std::string PrivateCupsd::Output(const std::string& queue) const {
    return ReadText(OutputPath(queue));
}

std::string PrivateCupsd::ErrorLog() const {
    return ReadText(directory_ + "/log/error_log");
}

bool PrivateCupsd::Start(const std::vector<Queue>& queues, std::string* error) {
    if (Running()) {
        Stop();
    }
    if (::geteuid() != 0) {
        if (error != nullptr) {
            *error = "a private cupsd needs root (it runs its filters as user lp)";
        }
        return false;
    }
    if (::access(kCupsd, X_OK) != 0) {
        if (error != nullptr) {
            *error = std::string(kCupsd) + " is missing (package cups-daemon)";
        }
        return false;
    }
    if (!WriteConfiguration(queues, error)) {
        return false;
    }

    const std::string cupsdConf = directory_ + "/cupsd.conf";
    const std::string filesConf = directory_ + "/cups-files.conf";
    const std::string console = directory_ + "/log/cupsd.out";
    std::vector<std::string> args = {kCupsd, "-f", "-c", cupsdConf, "-s", filesConf};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, console.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own session: a terminal's signals do not reach it, and it leaves no zombie
    // relationship to the terminal.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    const int spawned = posix_spawn(&pid_, kCupsd, &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        pid_ = -1;
        if (error != nullptr) {
            *error = std::string("cannot start cupsd: ") + std::strerror(spawned);
        }
        return false;
    }
    if (!WaitUntilAnswering(error)) {
        Stop();
        return false;
    }
    if (!environmentSet_) {
        const char* previous = std::getenv("CUPS_SERVER");
        if (previous != nullptr) {
            previousServer_ = previous;
        }
        environmentSet_ = true;
    }
    ::unsetenv("LPDEST");
    ::unsetenv("PRINTER");
    PointLibcupsAt(SocketPath().c_str());
    return true;
}

bool PrivateCupsd::WriteConfiguration(const std::vector<Queue>& queues, std::string* error) {
    if (directory_.empty()) {
        // Under /tmp whatever TMPDIR says: the socket path must stay short (108 bytes) and
        // every directory above must be traversable by lp.
        char pattern[] = "/tmp/pg-cupsd-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            if (error != nullptr) {
                *error = std::string("mkdtemp: ") + std::strerror(errno);
            }
            return false;
        }
        directory_ = pattern;
        ::chmod(directory_.c_str(), 0755);
    }
    const std::string& d = directory_;
    for (const char* sub : {"out", "ppd", "cache", "spool", "tmp", "log", "state"}) {
        const std::string path = d + "/" + sub;
        if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
            if (error != nullptr) {
                *error = "mkdir " + path + ": " + std::strerror(errno);
            }
            return false;
        }
    }
    // cupsd refuses filters that are not owned by root or that others could change.
    const std::string filter = d + "/passthru";
    if (!WriteText(filter, "#!/bin/sh\nexec cat \"$6\"\n", 0555, error)) {
        return false;
    }
    const std::string cupsdConf = Directives({{"Listen", d + "/cups.sock"},
                                              {"Browsing", "Off"},
                                              {"WebInterface", "No"},
                                              {"DefaultAuthType", "None"},
                                              {"LogLevel", "info"}}) +
                                  "<Policy default>\n"
                                  "  JobPrivateAccess default\n"
                                  "  JobPrivateValues default\n"
                                  "  SubscriptionPrivateAccess default\n"
                                  "  SubscriptionPrivateValues default\n"
                                  "  <Limit All>\n"
                                  "    Order deny,allow\n"
                                  "  </Limit>\n"
                                  "</Policy>\n";
    const std::string filesConf = Directives({{"ServerRoot", d},
                                              {"StateDir", d + "/state"},
                                              {"CacheDir", d + "/cache"},
                                              {"RequestRoot", d + "/spool"},
                                              {"TempDir", d + "/tmp"},
                                              {"AccessLog", d + "/log/access_log"},
                                              {"ErrorLog", d + "/log/error_log"},
                                              {"PageLog", d + "/log/page_log"},
                                              {"Printcap", d + "/printcap"},
                                              {"ServerBin", "/usr/lib/cups"},
                                              {"DataDir", "/usr/share/cups"},
                                              {"FileDevice", "Yes"},
                                              {"SystemGroup", "root"}});
    std::string printers;
    for (const Queue& queue : queues) {
        const std::string tag = queue.isDefault ? "DefaultPrinter" : "Printer";
        printers += "<" + tag + " " + queue.name + ">\n" +
                    Directives({{"Info", queue.name},
                                {"MakeModel", "Pass-through"},
                                {"DeviceURI", "file:" + OutputPath(queue.name)},
                                {"State", queue.enabled ? "Idle" : "Stopped"},
                                {"Accepting", queue.accepting ? "Yes" : "No"},
                                {"Shared", "No"},
                                {"JobSheets", "none none"},
                                {"OpPolicy", "default"},
                                {"ErrorPolicy", "abort-job"}}) +
                    "</" + tag + ">\n";
        if (!WriteText(d + "/ppd/" + queue.name + ".ppd", PassThroughPpd(filter), 0644, error)) {
            return false;
        }
    }
    return WriteText(d + "/cupsd.conf", cupsdConf, 0644, error) &&
           WriteText(d + "/cups-files.conf", filesConf, 0644, error) &&
           WriteText(d + "/printers.conf", printers, 0600, error);
}

bool PrivateCupsd::WaitUntilAnswering(std::string* error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, SocketPath().c_str(), sizeof address.sun_path - 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            if (error != nullptr) {
                *error = "cupsd ended at start-up:\n" + ReadText(directory_ + "/log/cupsd.out") +
                         ErrorLog();
            }
            return false;
        }
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool answered =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (answered) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            if (error != nullptr) {
                *error = "cupsd does not answer on " + SocketPath() + ":\n" + ErrorLog();
            }
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void PrivateCupsd::Stop() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
}

std::vector<int> PrivateCupsd::ActiveJobs(const std::string& queue) const {
    std::vector<int> ids;
    http_t* http = httpConnect2(SocketPath().c_str(), ippPort(), nullptr, AF_UNSPEC,
                                HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    if (http == nullptr) {
        return ids;
    }
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(http, &jobs, queue.empty() ? nullptr : queue.c_str(), 0,
                                   CUPS_WHICHJOBS_ACTIVE);
    for (int i = 0; i < count; ++i) {
        ids.push_back(jobs[i].id);
    }
    cupsFreeJobs(count, jobs);
    httpClose(http);
    return ids;
}

bool PrivateCupsd::WaitUntilIdle(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ActiveJobs().empty()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void PrivateCupsd::PointLibcupsAt(const char* server) {
    if (server != nullptr) {
        ::setenv("CUPS_SERVER", server, 1);
    } else {
        ::unsetenv("CUPS_SERVER");
    }
    // libcups keeps the server it found per thread: make this thread look again.
    cupsSetServer(nullptr);
}

}  // namespace pg::test
