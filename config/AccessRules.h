#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/ProfileFile.h"

namespace pg {

// What a client asks for. "all" in a rule stands for the first four; kOperator is asked only
// by removal (may this host remove other hosts' jobs?) and only rules naming it answer it.
enum class AccessOperation : uint8_t { kSubmit, kStatus, kRemove, kPrintWaiting, kOperator };

// "submit", "status", "remove", "print-waiting", "operator".
const char* AccessOperationName(AccessOperation operation);

// One rule of [Access]: "allow|deny OPERATION SOURCE [QUEUE]", where OPERATION is submit,
// status, remove, print-waiting, all or operator, SOURCE is any, localhost (loopback),
// private (loopback, RFC 1918, link-local, IPv6 unique local) or an IPv4 or IPv6 address or
// network ("10.1.0.0/16", "fd00::/8"), and QUEUE, when given, limits the rule to the queue
// of that name (without regard to case).
struct AccessRule {
    enum class Source : uint8_t { kAny, kLocalhost, kPrivate, kNetwork };

    bool allow = true;
    bool allOperations = false;  // "all": every operation but operator
    AccessOperation operation = AccessOperation::kSubmit;
    Source source = Source::kAny;
    int family = AF_UNSPEC;             // kNetwork: AF_INET or AF_INET6
    std::array<uint8_t, 16> network{};  // kNetwork: the address, IPv4 in the first four bytes
    int prefix = 0;                     // kNetwork: bits that must match
    std::string queue;                  // empty: every queue

    // The rule in text, std::nullopt with the reason in problem when the text is none.
    static std::optional<AccessRule> Parse(std::string_view text, std::string* problem);
    // The rule written back in the form Parse reads ("allow submit 10.0.0.0/8 lp").
    std::string Text() const;

    bool Covers(AccessOperation asked) const;
    // peer is what accept() or getpeername() gave; an IPv4-mapped IPv6 address counts as the
    // IPv4 address, and a local (AF_UNIX) peer as loopback.
    bool MatchesSource(const sockaddr_storage& peer) const;
};

// The rules of [Access] in file order, and its options. First match wins; a request no rule
// matches is allowed, so a file without the section allows everything, as before rules
// existed. Operator standing is never given by default: only an "allow operator" rule gives it.
class AccessRules {
  public:
    static constexpr const char* kSection = "Access";

    struct Problem {
        int line = 0;  // in pgate.ini
        std::string text;
    };

    // Reads the section; lines that are no rule or option are left out and reported in
    // Problems().
    static AccessRules Read(const ProfileFile& file);
    // Whether key=value is a line of the section Read() can use; false with the reason in
    // problem (the configuration checker reports it).
    static bool CheckEntry(std::string_view key, std::string_view value, std::string* problem);
    // The section as the default pgate.ini has it (CR LF lines, header included): everything
    // from private addresses, operator from the host itself, nothing from anywhere else.
    static std::string DefaultSectionText();
    // Rewrites the section of file with these rules as Rule1, Rule2, ... in order, and the
    // option; comments and lines Read() left out are dropped. False when it cannot be written.
    bool Write(const ProfileFile& file) const;

    bool Allows(AccessOperation operation, const sockaddr_storage& peer,
                std::string_view queue) const;
    bool IsOperator(const sockaddr_storage& peer, std::string_view queue) const;

    bool Present() const { return present_; }
    const std::vector<AccessRule>& Rules() const { return rules_; }
    // RemoveNeedsPrivilegedPort: removal only from source ports below 1024.
    bool RemoveNeedsPrivilegedPort() const { return removeNeedsPrivilegedPort_; }
    const std::vector<Problem>& Problems() const { return problems_; }

    void SetRules(std::vector<AccessRule> rules) { rules_ = std::move(rules); }
    void SetRemoveNeedsPrivilegedPort(bool on) { removeNeedsPrivilegedPort_ = on; }

  private:
    // Takes one key=value line into the rules; false with the reason in problem.
    bool TakeEntry(std::string_view key, std::string_view value, std::string* problem);
    // The first rule covering operation that matches; nullptr when none does.
    const AccessRule* FirstMatch(AccessOperation operation, const sockaddr_storage& peer,
                                 std::string_view queue) const;

    bool present_ = false;
    std::vector<AccessRule> rules_;
    bool removeNeedsPrivilegedPort_ = false;
    std::vector<Problem> problems_;
};

}  // namespace pg
