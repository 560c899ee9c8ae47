// Feeds one LPD command line to the connection handler of a daemon with [Access] rules, over a
// loopback connection from the source address the input's first byte picks; each address is
// refused one command. Aborts when a refused command is served anyway (print-waiting or
// receive-job get anything but NACK, status anything but the one refusal line, a remove removes
// a job) and when a reply is longer than the handler's buffer.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <stop_token>
#include <string>

#include "config/ConfigLocation.h"
#include "engine/ConnectionHandler.h"
#include "engine/JobEntry.h"
#include "engine/LPDSpooler.h"
#include "engine/PrintQueue.h"
#include "fuzz/FuzzSupport.h"
#include "platform/UniqueFd.h"

namespace {

using pg::fuzz::Check;

// Source i is 127.0.0.<i + 1> (mapped, as the daemon's dual-stack socket sees it), the last one
// ::1; the rules refuse each source the command kRefused[i] (0: none).
constexpr char kRefused[] = {0, 2, 3, 4, 5, 1, 0};

const char kRules[] =
    "[Access]\r\n"
    "Rule1=deny submit 127.0.0.2\r\n"
    "Rule2=deny status 127.0.0.3/32\r\n"
    "Rule3=deny status ::ffff:127.0.0.4/128\r\n"
    "Rule4=deny remove 127.0.0.5\r\n"
    "Rule5=deny print-waiting 127.0.0.6\r\n"
    "Rule6=deny all ::1 held\r\n"
    "Rule7=allow all any\r\n";

// A daemon that is never activated and the fuzzer's own dual-stack socket on any port.
struct Site {
    Site() {
        const std::string root = pg::fuzz::WorkDirectory();
        std::ofstream(root + "/pgate.ini")
            << "[GENERAL CONFIGURE]\r\nSpoolBaseDirectory=" << root
            << "/spool\r\nLPDServerPort=0\r\nClearSpoolDirectory=N\r\nTestPrintManager=N\r\n"
               "CloseDelayMs=0\r\nAcceptDelayMs=0\r\nLocalCmdTimeout=1\r\nPrintSystem=devices:"
            << root
            << "\r\n[Print Queues]\r\nlp=missing,,,never printed\r\nheld=missing,,,never "
               "printed\r\n[Logging]\r\nLogLevel=0\r\nLogToScreen=N\r\n"
            << kRules;
        pg::ConfigLocation location;
        location.home = root;
        location.currentDirectory = root;
        location.searchPath = root + "/none";
        spooler = std::make_unique<pg::LPDSpooler>(location);
        // No queue runs (print-waiting may start one: it is stopped again after the input), so
        // a permitted receive-job gets NACK and the reception, which fuzz_reception covers, is
        // never entered (a counted file cut short would keep it for seconds).
        spooler->StartSpooling(nullptr, false);
        held = spooler->FindQueue("held");
        listening.Reset(::socket(AF_INET6, SOCK_STREAM, 0));
        int zero = 0;
        ::setsockopt(listening.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        socklen_t length = sizeof any;
        ::bind(listening.Get(), reinterpret_cast<sockaddr*>(&any), length);
        ::listen(listening.Get(), 8);
        ::getsockname(listening.Get(), reinterpret_cast<sockaddr*>(&any), &length);
        port = ntohs(any.sin6_port);
    }

    std::unique_ptr<pg::LPDSpooler> spooler;
    std::shared_ptr<pg::PrintQueue> held;  // stopped, with one job to remove
    pg::UniqueFd listening;
    uint16_t port = 0;
};

// A connection from source to the fuzzer's socket: the client's end and the daemon's end.
// Both reset on close, so that no TIME_WAIT piles up.
bool Connect(const Site& site, const std::string& source, pg::UniqueFd& client,
             pg::UniqueFd& server) {
    sockaddr_in6 from{};
    from.sin6_family = AF_INET6;
    ::inet_pton(AF_INET6, source.c_str(), &from.sin6_addr);
    sockaddr_in6 to = from;  // the same family of loopback: ::1 or ::ffff:127.0.0.1
    ::inet_pton(AF_INET6, IN6_IS_ADDR_V4MAPPED(&from.sin6_addr) ? "::ffff:127.0.0.1" : "::1",
                &to.sin6_addr);
    to.sin6_port = htons(site.port);
    client.Reset(::socket(AF_INET6, SOCK_STREAM, 0));
    const linger reset{1, 0};
    ::setsockopt(client.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    if (::bind(client.Get(), reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(client.Get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
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
    static Site& site = *new Site;  // never destroyed: the fuzzer exits with it in place
    const size_t i = data[0] % std::size(kRefused);
    const std::string source =
        i + 1 < std::size(kRefused) ? "::ffff:127.0.0." + std::to_string(i + 1) : "::1";
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
    if (!Connect(site, source, client, server)) {
        return 0;
    }
    // The line is small enough for the socket's buffer: it is all there before the handler
    // reads, and the close after it ends every read that wants more.
    (void)::send(client.Get(), line.data(), line.size(), MSG_NOSIGNAL);
    ::shutdown(client.Get(), SHUT_WR);
    {
        pg::ConnectionHandler handler(
            site.spooler->Snapshot(),
            [](const char* name) { return site.spooler->FindQueueIgnoringCase(name); },
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
    if (kRefused[i] != 0 && command == kRefused[i]) {
        const bool refusalLine =
            reply.rfind("Host ", 0) == 0 && reply.find('\n') == reply.size() - 1;
        Check(command == 5   ? site.held->JobCount() == jobsBefore
              : command <= 2 ? reply == "\001"
                             : refusalLine);
    }
    for (const auto& queue : site.spooler->Printers()) {
        queue->Stop();
    }
    return 0;
}
