#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/PeerAddress.h"

namespace pg {

class JobEntry;

// A remove-jobs command from the network ("\5queue agent 12 13 bob") and the authority it
// carries, judged as BSD lpd and LPRng judge it: the agent may remove a job of its own only
// when the request comes from the address the job came from; agent "root" may remove any job
// from that address, or from a host the access rules name as an operator host. Every job
// number and user the list names counts; a list naming nothing asks for the first job the
// agent may remove. (The window's operator removes through other calls, without these limits.)
class RemovalRequest {
  public:
    // Characters kept of one list item.
    static constexpr size_t kItemLimit = 255;

    RemovalRequest(std::string agent, std::string_view list, const PeerAddress& peer,
                   bool operatorHost);

    // The list names at least one job number or user.
    bool NamesAny() const { return !numbers_.empty() || !users_.empty(); }
    // The job has a number, or a user, that the list names.
    bool Names(const JobEntry& job) const;
    // The agent may remove the job from where the request comes.
    bool Permits(const JobEntry& job) const;

    const std::string& Agent() const { return agent_; }
    const PeerAddress& Peer() const { return peer_; }

  private:
    std::string agent_;
    std::vector<int32_t> numbers_;
    std::vector<std::string> users_;
    PeerAddress peer_;
    bool operatorHost_ = false;
};

}  // namespace pg
