// Feeds a receive-job conversation (after its command line; the first four bytes choose how the
// rest is cut into writes) through the reception into a job store, as a client would. Aborts
// when a file beside the store was touched, when the store holds anything but complete jobs
// afterwards (a second store's start-up would remove something), or when the queue lists a job
// that is not complete and printable.

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "engine/ClientConnection.h"
#include "engine/JobEntry.h"
#include "engine/JobReceiver.h"
#include "engine/JobStore.h"
#include "engine/PrintQueue.h"
#include "fuzz/FuzzSupport.h"
#include "platform/UniqueFd.h"

namespace {

namespace fs = std::filesystem;

using pg::fuzz::Check;

std::vector<std::string> Listing(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// <work>/{sentinel, spool/{sentinel, q/}}: the store is q.
struct Site {
    Site() : root(pg::fuzz::WorkDirectory()) {
        fs::create_directories(root / "spool" / "q");
        std::ofstream(root / "sentinel") << "outside";
        std::ofstream(root / "spool" / "sentinel") << "beside";
    }
    void CheckUntouched() const {
        Check(Listing(root) == std::vector<std::string>{"sentinel", "spool"});
        Check(Listing(root / "spool") == std::vector<std::string>{"q", "sentinel"});
        Check(Contents(root / "sentinel") == "outside");
        Check(Contents(root / "spool" / "sentinel") == "beside");
    }
    fs::path root;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Site site;
    const fs::path store = site.root / "spool" / "q";
    uint32_t seed = 0;
    const size_t header = std::min<size_t>(size, 4);
    for (size_t i = 0; i < header; ++i) {
        seed = seed * 131 + data[i];
    }
    const std::string conversation(reinterpret_cast<const char*>(data) + header, size - header);

    int ends[2];
    Check(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0);
    pg::UniqueFd daemonEnd(ends[0]);
    pg::UniqueFd clientEnd(ends[1]);
    // The client: writes in pieces (some of them single bytes), then closes its sending side,
    // and takes whatever the daemon answers.
    std::thread client([&conversation, &clientEnd, seed]() mutable {
        size_t at = 0;
        while (at < conversation.size()) {
            seed = seed * 1103515245u + 12345u;
            size_t piece = (seed & 0xf) == 0 ? 1 : 1 + (seed >> 8) % 700;
            piece = std::min(piece, conversation.size() - at);
            if (::send(clientEnd.Get(), conversation.data() + at, piece, MSG_NOSIGNAL) <= 0) {
                break;
            }
            at += piece;
        }
        ::shutdown(clientEnd.Get(), SHUT_WR);
        char reply[4096];
        while (::recv(clientEnd.Get(), reply, sizeof reply, 0) > 0) {
        }
    });

    {
        pg::PrintQueue queue("q");
        queue.OpenStore(store.string(), false);
        pg::ClientConnection connection(daemonEnd.Get(), 0);
        pg::JobReceiver(queue, connection).Run();
        ::shutdown(daemonEnd.Get(), SHUT_RDWR);
        client.join();

        site.CheckUntouched();
        const std::vector<std::string> stored = Listing(store);
        pg::JobStore second("q", store.string(), false);
        const std::vector<pg::JobRecord> complete = second.Recover();
        Check(Listing(store) == stored);  // nothing incomplete was left
        const auto jobs = queue.Jobs();
        Check(jobs.size() == complete.size());
        for (const auto& job : jobs) {
            Check(job->State() == pg::JobState::Waiting && !job->record.data.empty());
        }
        queue.RemoveJob();
    }
    Check(Listing(store).empty());
    return 0;
}
