// Feeds one LPD command line (commands 1 to 5 with any operands) to the connection handler of a
// daemon with [Access] rules in place, over a real loopback connection whose source address the
// input's first byte picks. Each address is refused one command by the rules.
//
// Aborts when a refused command is served anyway: a refused print-waiting or receive-job gets
// anything but NACK, a refused status anything but the one refusal line, a refused remove
// removes a job; and when a reply is longer than the handler's 4096-byte buffer.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stop_token>
#include <string>

#include "config/ConfigLocation.h"
#include "engine/ConnectionHandler.h"
#include "engine/JobEntry.h"
#include "engine/LPDSpooler.h"
#include "engine/PrintQueue.h"
#include "platform/UniqueFd.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The source addresses and the command each is refused (0: none).
struct Source {
    const char* address;
    char refused;
};
constexpr Source kSources[] = {
    {"127.0.0.1", 0}, {"127.0.0.2", 2}, {"127.0.0.3", 3}, {"127.0.0.4", 4},
    {"127.0.0.5", 5}, {"127.0.0.6", 1}, {"::1", 0},
};

const char kRules[] =
    "[Access]\r\n"
    "Rule1=deny submit 127.0.0.2\r\n"
    "Rule2=deny status 127.0.0.3/32\r\n"
    "Rule3=deny status ::ffff:127.0.0.4/128\r\n"
    "Rule4=deny remove 127.0.0.5\r\n"
    "Rule5=deny print-waiting 127.0.0.6\r\n"
    "Rule6=deny all ::1 held\r\n"
    "Rule7=allow all any\r\n";

struct Site {
    std::unique_ptr<pg::LPDSpooler> spooler;
    std::shared_ptr<pg::PrintQueue> held;  // stopped, with one job to remove
    pg::UniqueFd listening;                // the fuzzer's own: dual-stack, any port
    uint16_t port = 0;
};

Site& TheSite() {
    static Site* site = [] {
        auto* made = new Site;
        char pattern[] = "/tmp/pg-fuzz-request-XXXXXX";
        static const std::string root = ::mkdtemp(pattern);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(root, ignored);
        });
        const std::string ini = root + "/pgate.ini";
        const std::string text =
            "[GENERAL CONFIGURE]\r\nSpoolBaseDirectory=" + root +
            "/spool\r\nLPDServerPort=0\r\nClearSpoolDirectory=N\r\nTestPrintManager=N\r\n"
            "CloseDelayMs=0\r\nAcceptDelayMs=0\r\nLocalCmdTimeout=1\r\nPrintSystem=devices:" +
            root +
            "\r\n[Print Queues]\r\nlp=missing,,,never printed\r\nheld=missing,,,never printed\r\n"
            "[Logging]\r\nLogLevel=0\r\nLogToScreen=N\r\n" +
            kRules;
        FILE* file = std::fopen(ini.c_str(), "w");
        std::fputs(text.c_str(), file);
        std::fclose(file);
        pg::ConfigLocation location;
        location.home = root;
        location.currentDirectory = root;
        location.searchPath = root + "/none";
        made->spooler = std::make_unique<pg::LPDSpooler>(location);
        // No queue runs (print-waiting may start one: it is stopped again after the input), so
        // a permitted receive-job gets NACK and the reception, which fuzz_subcommand covers, is
        // never entered (a counted file cut short would keep it for seconds).
        made->spooler->StartSpooling(nullptr, false);
        made->held = made->spooler->FindQueue("held");

        made->listening.Reset(::socket(AF_INET6, SOCK_STREAM, 0));
        int zero = 0;
        ::setsockopt(made->listening.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        ::bind(made->listening.Get(), reinterpret_cast<sockaddr*>(&any), sizeof any);
        ::listen(made->listening.Get(), 8);
        socklen_t length = sizeof any;
        ::getsockname(made->listening.Get(), reinterpret_cast<sockaddr*>(&any), &length);
        made->port = ntohs(any.sin6_port);
        return made;
    }();
    return *site;
}

// A connection from source to the fuzzer's socket: the client's end and the daemon's end.
// Both reset on close, so that no TIME_WAIT piles up.
bool Connect(const Site& site, const char* source, pg::UniqueFd& client, pg::UniqueFd& server) {
    const bool v6 = std::string(source).find(':') != std::string::npos;
    sockaddr_storage from{};
    sockaddr_storage to{};
    socklen_t length;
    if (v6) {
        auto& f = reinterpret_cast<sockaddr_in6&>(from);
        auto& t = reinterpret_cast<sockaddr_in6&>(to);
        f.sin6_family = t.sin6_family = AF_INET6;
        ::inet_pton(AF_INET6, source, &f.sin6_addr);
        t.sin6_addr = in6addr_loopback;
        t.sin6_port = htons(site.port);
        length = sizeof(sockaddr_in6);
    } else {
        auto& f = reinterpret_cast<sockaddr_in&>(from);
        auto& t = reinterpret_cast<sockaddr_in&>(to);
        f.sin_family = t.sin_family = AF_INET;
        ::inet_pton(AF_INET, source, &f.sin_addr);
        t.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        t.sin_port = htons(site.port);
        length = sizeof(sockaddr_in);
    }
    client.Reset(::socket(from.ss_family, SOCK_STREAM, 0));
    const linger reset{1, 0};
    ::setsockopt(client.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    if (::bind(client.Get(), reinterpret_cast<sockaddr*>(&from), length) != 0 ||
        ::connect(client.Get(), reinterpret_cast<sockaddr*>(&to), length) != 0) {
        return false;
    }
    server.Reset(::accept(site.listening.Get(), nullptr, nullptr));
    ::setsockopt(server.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    return server.Valid();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    Site& site = TheSite();
    const Source& source = kSources[data[0] % (sizeof kSources / sizeof kSources[0])];
    const std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);
    const char command = line[0];

    if (site.held->JobCount() == 0) {
        auto job = std::make_shared<pg::JobEntry>();
        job->ReadControlFile("Hpc1\nPann\nJreport\n", false);
        job->jobNo = 1;
        job->SetState(pg::JobState::Waiting);
        site.held->AddJob(job);
    }
    const size_t jobsBefore = site.held->JobCount();

    pg::UniqueFd client, server;
    if (!Connect(site, source.address, client, server)) {
        return 0;
    }
    // The line is small enough for the socket's buffer: it is all there before the handler
    // reads, and the close after it ends every read that wants more.
    (void)::send(client.Get(), line.data(), line.size(), MSG_NOSIGNAL);
    ::shutdown(client.Get(), SHUT_WR);
    {
        pg::ConnectionHandler handler(
            site.spooler->Snapshot(),
            [&site](const char* name) { return site.spooler->FindQueueIgnoringCase(name); },
            server.Get());
        handler.Run(std::stop_token());
    }
    server.Reset();
    std::string reply;
    char buffer[8192];
    for (ssize_t got; (got = ::recv(client.Get(), buffer, sizeof buffer, 0)) > 0;) {
        reply.append(buffer, static_cast<size_t>(got));
    }

    Check(reply.size() <= pg::ConnectionHandler::kRequestBufferSize);
    if (command == source.refused) {
        switch (command) {
            case 1:
            case 2:
                Check(reply == "\001");
                break;
            case 3:
            case 4:
                Check(reply.rfind("Host ", 0) == 0 && reply.find('\n') == reply.size() - 1);
                break;
            case 5:
                Check(site.held->JobCount() == jobsBefore);
                break;
        }
    }
    for (const auto& queue : site.spooler->Printers()) {
        if (queue->State() != pg::QueueState::Stop) {
            queue->Stop();
        }
    }
    return 0;
}
