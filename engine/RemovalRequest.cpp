#include "engine/RemovalRequest.h"

#include <algorithm>
#include <utility>

#include "engine/CopyToken.h"
#include "engine/JobEntry.h"

namespace pg {

RemovalRequest::RemovalRequest(std::string agent, std::string_view list, const PeerAddress& peer,
                               bool operatorHost)
    : agent_(std::move(agent)), peer_(peer), operatorHost_(operatorHost) {
    while (!list.empty()) {
        size_t length = 0;
        while (length < list.size() && !IsLpdSpace(list[length])) {
            ++length;
        }
        const std::string_view item = list.substr(0, std::min(length, kItemLimit));
        if (StartsWithDigit(item)) {
            numbers_.push_back(LeadingNumber(item));
        } else if (!item.empty()) {
            users_.emplace_back(item);
        }
        list.remove_prefix(std::min(length + 1, list.size()));
    }
}

bool RemovalRequest::Names(const JobEntry& job) const {
    return std::find(numbers_.begin(), numbers_.end(), job.jobNo) != numbers_.end() ||
           std::find(users_.begin(), users_.end(), job.userName) != users_.end();
}

bool RemovalRequest::Permits(const JobEntry& job) const {
    const bool fromOrigin = peer_.SameHost(job.record.origin);
    if (agent_ == "root") {
        return fromOrigin || operatorHost_;
    }
    return fromOrigin && !agent_.empty() && agent_ == job.userName;
}

}  // namespace pg
