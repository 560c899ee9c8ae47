#include "config/AccessRules.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

#include "config/GeneralSettings.h"
#include "config/ProfileText.h"

namespace pg {

namespace {

constexpr const char* kRuleKeyPrefix = "Rule";
constexpr const char* kPrivilegedPortKey = "RemoveNeedsPrivilegedPort";

struct OperationName {
    const char* name;
    AccessOperation operation;
};

constexpr OperationName kOperations[] = {
    {"submit", AccessOperation::kSubmit},     {"status", AccessOperation::kStatus},
    {"remove", AccessOperation::kRemove},     {"print-waiting", AccessOperation::kPrintWaiting},
    {"operator", AccessOperation::kOperator},
};

// A peer's address as the rules compare it.
struct Address {
    bool local = false;  // an AF_UNIX peer: this host
    int family = AF_UNSPEC;
    std::array<uint8_t, 16> bytes{};
};

Address AddressOf(const sockaddr_storage& peer) {
    Address address;
    if (peer.ss_family == AF_UNIX) {
        address.local = true;
    } else if (peer.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(peer);
        address.family = AF_INET;
        std::memcpy(address.bytes.data(), &in.sin_addr, 4);
    } else if (peer.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(peer);
        if (IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr)) {
            address.family = AF_INET;
            std::memcpy(address.bytes.data(), in6.sin6_addr.s6_addr + 12, 4);
        } else {
            address.family = AF_INET6;
            std::memcpy(address.bytes.data(), in6.sin6_addr.s6_addr, 16);
        }
    }
    return address;
}

bool PrefixMatches(const std::array<uint8_t, 16>& a, const std::array<uint8_t, 16>& b, int bits) {
    int i = 0;
    for (; bits >= 8; bits -= 8, ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    if (bits > 0) {
        const auto mask = static_cast<uint8_t>(0xff << (8 - bits));
        return (a[i] & mask) == (b[i] & mask);
    }
    return true;
}

struct Network {
    int family;
    std::array<uint8_t, 16> bytes;
    int prefix;
};

constexpr Network kLoopback[] = {
    {AF_INET, {127}, 8},
    {AF_INET6, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 128},
};

constexpr Network kPrivate[] = {
    {AF_INET, {10}, 8},        {AF_INET, {172, 16}, 12},     {AF_INET, {192, 168}, 16},
    {AF_INET, {169, 254}, 16}, {AF_INET6, {0xfe, 0x80}, 10},  // link-local
    {AF_INET6, {0xfc}, 7},                                    // unique local
};

bool InAny(const Address& address, const Network* begin, const Network* end) {
    for (const Network* n = begin; n != end; ++n) {
        if (n->family == address.family && PrefixMatches(n->bytes, address.bytes, n->prefix)) {
            return true;
        }
    }
    return false;
}

bool IsLoopback(const Address& address) {
    return address.local || InAny(address, std::begin(kLoopback), std::end(kLoopback));
}

// "10.0.0.0/8", "fd00::/8", "[::1]", "192.0.2.7".
bool ParseNetwork(std::string_view text, AccessRule& rule) {
    std::string_view address = text;
    std::string_view bits;
    if (const size_t slash = text.find('/'); slash != std::string_view::npos) {
        address = text.substr(0, slash);
        bits = text.substr(slash + 1);
    }
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
        address = address.substr(1, address.size() - 2);
    }
    const std::string plain(address);
    std::array<uint8_t, 16> bytes{};
    int family;
    if (::inet_pton(AF_INET, plain.c_str(), bytes.data()) == 1) {
        family = AF_INET;
    } else if (::inet_pton(AF_INET6, plain.c_str(), bytes.data()) == 1) {
        family = AF_INET6;
    } else {
        return false;
    }
    const int width = family == AF_INET ? 32 : 128;
    int prefix = width;
    if (!bits.empty() || text.find('/') != std::string_view::npos) {
        if (bits.empty() || bits.size() > 3 ||
            bits.find_first_not_of("0123456789") != std::string_view::npos) {
            return false;
        }
        prefix = ParseLeadingInt(bits);
        if (prefix > width) {
            return false;
        }
    }
    // An IPv4-mapped IPv6 network is the IPv4 network it maps, as peers are compared.
    in6_addr mapped{};
    std::memcpy(mapped.s6_addr, bytes.data(), 16);
    if (family == AF_INET6 && IN6_IS_ADDR_V4MAPPED(&mapped) && prefix >= 96) {
        family = AF_INET;
        prefix -= 96;
        std::memmove(bytes.data(), bytes.data() + 12, 4);
        std::memset(bytes.data() + 4, 0, 12);
    }
    // Host bits beyond the prefix are dropped: "10.1.2.3/8" is 10.0.0.0/8.
    for (int bit = prefix; bit < 128; ++bit) {
        bytes[static_cast<size_t>(bit / 8)] &= static_cast<uint8_t>(~(0x80 >> (bit % 8)));
    }
    rule.source = AccessRule::Source::kNetwork;
    rule.family = family;
    rule.network = bytes;
    rule.prefix = prefix;
    return true;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsWhiteSpace(text[i])) {
            ++i;
        }
        const size_t start = i;
        while (i < text.size() && !IsWhiteSpace(text[i])) {
            ++i;
        }
        if (i > start) {
            words.push_back(text.substr(start, i - start));
        }
    }
    return words;
}

}  // namespace

const char* AccessOperationName(AccessOperation operation) {
    for (const OperationName& entry : kOperations) {
        if (entry.operation == operation) {
            return entry.name;
        }
    }
    return "?";
}

std::optional<AccessRule> AccessRule::Parse(std::string_view text, std::string* problem) {
    auto fail = [problem](std::string reason) -> std::optional<AccessRule> {
        if (problem != nullptr) {
            *problem = std::move(reason);
        }
        return std::nullopt;
    };
    const std::vector<std::string_view> words = Words(text);
    if (words.size() < 3 || words.size() > 4) {
        return fail("a rule is allow or deny, an operation, a source and optionally a queue");
    }
    AccessRule rule;
    if (EqualsNoCase(words[0], "allow")) {
        rule.allow = true;
    } else if (EqualsNoCase(words[0], "deny")) {
        rule.allow = false;
    } else {
        return fail("'" + std::string(words[0]) + "' is neither allow nor deny");
    }
    bool known = EqualsNoCase(words[1], "all");
    rule.allOperations = known;
    for (const OperationName& entry : kOperations) {
        if (EqualsNoCase(words[1], entry.name)) {
            rule.operation = entry.operation;
            known = true;
        }
    }
    if (!known) {
        return fail("unknown operation '" + std::string(words[1]) +
                    "' (submit, status, remove, print-waiting, all or operator)");
    }
    if (EqualsNoCase(words[2], "any")) {
        rule.source = Source::kAny;
    } else if (EqualsNoCase(words[2], "localhost")) {
        rule.source = Source::kLocalhost;
    } else if (EqualsNoCase(words[2], "private")) {
        rule.source = Source::kPrivate;
    } else if (!ParseNetwork(words[2], rule)) {
        return fail("unknown source '" + std::string(words[2]) +
                    "' (any, localhost, private, or an IPv4 or IPv6 address or network)");
    }
    if (words.size() == 4) {
        rule.queue = std::string(words[3]);
    }
    return rule;
}

std::string AccessRule::Text() const {
    std::string text = allow ? "allow " : "deny ";
    text += allOperations ? "all" : AccessOperationName(operation);
    text += ' ';
    switch (source) {
        case Source::kAny:
            text += "any";
            break;
        case Source::kLocalhost:
            text += "localhost";
            break;
        case Source::kPrivate:
            text += "private";
            break;
        case Source::kNetwork: {
            char buffer[INET6_ADDRSTRLEN] = {};
            ::inet_ntop(family, network.data(), buffer, sizeof buffer);
            text += buffer;
            if (prefix != (family == AF_INET ? 32 : 128)) {
                text += "/" + std::to_string(prefix);
            }
            break;
        }
    }
    if (!queue.empty()) {
        text += " " + queue;
    }
    return text;
}

bool AccessRule::Covers(AccessOperation asked) const {
    return allOperations ? asked != AccessOperation::kOperator : asked == operation;
}

bool AccessRule::MatchesSource(const sockaddr_storage& peer) const {
    const Address address = AddressOf(peer);
    switch (source) {
        case Source::kAny:
            return true;
        case Source::kLocalhost:
            return IsLoopback(address);
        case Source::kPrivate:
            return IsLoopback(address) || InAny(address, std::begin(kPrivate), std::end(kPrivate));
        case Source::kNetwork:
            return address.family == family && PrefixMatches(network, address.bytes, prefix);
    }
    return false;
}

bool AccessRules::TakeEntry(std::string_view key, std::string_view value, std::string* problem) {
    const size_t prefixLength = std::strlen(kRuleKeyPrefix);
    if (EqualsNoCase(key, kPrivilegedPortKey)) {
        removeNeedsPrivilegedPort_ = IsYes(std::string(value));
        return true;
    }
    if (key.size() >= prefixLength && EqualsNoCase(key.substr(0, prefixLength), kRuleKeyPrefix)) {
        auto rule = AccessRule::Parse(value, problem);
        if (rule) {
            rules_.push_back(std::move(*rule));
        }
        return rule.has_value();
    }
    if (problem != nullptr) {
        *problem = "unknown key '" + std::string(key) + "' (Rule1, Rule2, ... or " +
                   kPrivilegedPortKey + ")";
    }
    return false;
}

bool AccessRules::CheckEntry(std::string_view key, std::string_view value, std::string* problem) {
    return AccessRules().TakeEntry(key, value, problem);
}

AccessRules AccessRules::Read(const ProfileFile& file) {
    AccessRules rules;
    const auto lines = file.ReadSectionLines(kSection);
    if (!lines) {
        return rules;
    }
    rules.present_ = true;
    for (const ProfileFile::SectionLine& line : *lines) {
        std::string problem;
        if (!line.isKey) {
            problem = "'" + line.text + "' is no key=value line";
        } else {
            rules.TakeEntry(line.key, line.value, &problem);
        }
        if (!problem.empty()) {
            rules.problems_.push_back({line.number, std::move(problem)});
        }
    }
    return rules;
}

std::string AccessRules::DefaultSectionText() {
    return std::string("[") + kSection +
           "]\r\n"
           "; RuleN=allow|deny  submit|status|remove|print-waiting|all|operator  "
           "any|localhost|private|ADDRESS[/BITS]  [queue]; the first rule that matches wins\r\n"
           "Rule1=allow all private\r\n"
           "Rule2=allow operator localhost\r\n"
           "Rule3=deny all any\r\n" +
           kPrivilegedPortKey + "=N\r\n";
}

bool AccessRules::Write(const ProfileFile& file) const {
    bool written = file.DeleteSection(kSection);
    for (size_t i = 0; i < rules_.size(); ++i) {
        written =
            file.WriteString(kSection, kRuleKeyPrefix + std::to_string(i + 1), rules_[i].Text()) &&
            written;
    }
    return file.WriteString(kSection, kPrivilegedPortKey, removeNeedsPrivilegedPort_ ? "Y" : "N") &&
           written;
}

const AccessRule* AccessRules::FirstMatch(AccessOperation operation, const sockaddr_storage& peer,
                                          std::string_view queue) const {
    for (const AccessRule& rule : rules_) {
        if (rule.Covers(operation) && (rule.queue.empty() || EqualsNoCase(rule.queue, queue)) &&
            rule.MatchesSource(peer)) {
            return &rule;
        }
    }
    return nullptr;
}

bool AccessRules::Allows(AccessOperation operation, const sockaddr_storage& peer,
                         std::string_view queue) const {
    const AccessRule* rule = FirstMatch(operation, peer, queue);
    return rule == nullptr || rule->allow;
}

bool AccessRules::IsOperator(const sockaddr_storage& peer, std::string_view queue) const {
    const AccessRule* rule = FirstMatch(AccessOperation::kOperator, peer, queue);
    return rule != nullptr && rule->allow;
}

}  // namespace pg
