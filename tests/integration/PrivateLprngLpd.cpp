#include "tests/integration/PrivateLprngLpd.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "platform/UniqueFd.h"
#include "tests/support/Loopback.h"

namespace pg::test {

namespace {

std::vector<std::string> Names(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Accepting(uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace

PrivateLprngLpd::PrivateLprngLpd() : dir_("pglprnglpd") {}

PrivateLprngLpd::~PrivateLprngLpd() {
    Stop();
}

bool PrivateLprngLpd::WriteConfiguration(std::string* error) {
    const passwd* daemon = ::getpwnam("daemon");
    if (daemon == nullptr) {
        *error = "there is no user daemon for lpd to run as";
        return false;
    }
    const std::string& d = dir_.Path();
    for (const char* sub : {"etc", "spool", "spool/store", "spool/hold", "out"}) {
        ::mkdir((dir_ / sub).c_str(), 0755);
    }
    WriteFile(dir_ / "out/store.out", "");
    WriteFile(dir_ / "etc/lpd.conf", "printcap_path=" + d + "/etc/printcap\n" + "perms_path=" + d +
                                         "/etc/lpd.perms\n" + "lockfile=" + d + "/lpd.lock\n" +
                                         "unix_socket_path=off\n");
    WriteFile(dir_ / "etc/lpd.perms", "DEFAULT ACCEPT\n");
    WriteFile(dir_ / "etc/printcap", "store:sd=" + d + "/spool/store:lp=" + d +
                                         "/out/store.out:sh:mx=0\n" + "hold:sd=" + d +
                                         "/spool/hold:ah:sh:mx=0\n");
    for (const char* owned : {"spool", "spool/store", "spool/hold", "out", "out/store.out"}) {
        if (::chown((dir_ / owned).c_str(), daemon->pw_uid, daemon->pw_gid) != 0) {
            *error = "cannot hand " + dir_ / owned + " to user daemon (not root?)";
            return false;
        }
    }
    return true;
}

bool PrivateLprngLpd::Start(std::string* error) {
    std::string ignored;
    if (error == nullptr) {
        error = &ignored;
    }
    if (!WriteConfiguration(error)) {
        return false;
    }
    port_ = FreePort();
    const std::string script = "mount --bind " + dir_ / "etc" + " /etc/lprng && exec " + kProgram +
                               " -F -p " + std::to_string(port_) + " -P off";
    const std::string log = dir_ / "lpd.out";
    // Everything the child needs is prepared before fork.
    std::vector<std::string> args = {"/usr/bin/unshare", "-m", "/bin/sh", "-c", script};
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0) {
        *error = "fork failed";
        return false;
    }
    if (pid_ == 0) {
        ::setsid();  // a session and process group of its own
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (out >= 0 && in >= 0) {
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Accepting(port_)) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            *error = "lpd ended at start (status " + std::to_string(status) + "): " + Output();
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();
            *error = "lpd does not answer on port " + std::to_string(port_) + ": " + Output();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void PrivateLprngLpd::Stop() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(-pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) != pid_) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(-pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(-pid_, SIGKILL);  // whatever of the group is left
    pid_ = -1;
}

std::string PrivateLprngLpd::StoreOutput() const {
    return ReadFile(dir_ / "out/store.out");
}

bool PrivateLprngLpd::WaitForStoreOutput(size_t size, std::chrono::milliseconds timeout) const {
    const std::string path = dir_ / "out/store.out";
    return WaitUntil(
        [&] {
            struct stat status {};
            return ::stat(path.c_str(), &status) == 0 &&
                   static_cast<size_t>(status.st_size) >= size;
        },
        timeout);
}

std::vector<PrivateLprngLpd::HeldJob> PrivateLprngLpd::HeldJobs() const {
    const std::string spool = dir_ / "spool/hold";
    const std::vector<std::string> names = Names(spool);
    std::vector<HeldJob> jobs;
    for (const std::string& name : names) {
        if (name.rfind("hf", 0) != 0) {
            continue;
        }
        HeldJob job;
        job.jobFile = name;
        const std::string text = ReadFile(spool + "/" + name);
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            end = end == std::string::npos ? text.size() : end;
            const std::string line = text.substr(start, end - start);
            const size_t equals = line.find('=');
            if (equals != std::string::npos) {
                job.fields[line.substr(0, equals)] = line.substr(equals + 1);
            }
            start = end + 1;
        }
        // Data files are named df, a letter, the job's number, the host.
        const std::string number = name.substr(3);
        for (const std::string& other : names) {
            if (other.rfind("df", 0) == 0 && other.compare(3, number.size(), number) == 0) {
                job.dataFiles[other] = ReadFile(spool + "/" + other);
            }
        }
        jobs.push_back(std::move(job));
    }
    return jobs;
}

bool PrivateLprngLpd::WaitForHeldJobs(size_t count, std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return HeldJobs().size() >= count; }, timeout);
}

std::string PrivateLprngLpd::Output() const {
    return FileExists(dir_ / "lpd.out") ? ReadFile(dir_ / "lpd.out") : std::string();
}

}  // namespace pg::test
