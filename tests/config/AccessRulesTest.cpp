// The [Access] rules: what they read, what they report, and whom they let do what.

#include <arpa/inet.h>
#include <netinet/in.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "config/AccessRules.h"
#include "tests/support/TempDir.h"

namespace pg {
namespace {

using test::WriteFile;
using Op = AccessOperation;

sockaddr_storage Peer(const std::string& text) {
    sockaddr_storage peer{};
    auto& in = reinterpret_cast<sockaddr_in&>(peer);
    auto& in6 = reinterpret_cast<sockaddr_in6&>(peer);
    if (::inet_pton(AF_INET, text.c_str(), &in.sin_addr) == 1) {
        in.sin_family = AF_INET;
    } else if (::inet_pton(AF_INET6, text.c_str(), &in6.sin6_addr) == 1) {
        in6.sin6_family = AF_INET6;
    } else {
        peer.ss_family = AF_UNIX;  // "local"
    }
    return peer;
}

class AccessRulesTest : public ::testing::Test {
  protected:
    AccessRules Read(const std::string& ini) {
        WriteFile(dir_ / "pgate.ini", ini);
        return AccessRules::Read(ProfileFile(dir_ / "pgate.ini"));
    }
    test::TempDir dir_;
};

TEST_F(AccessRulesTest, RulesReadInOrderAndProblemsNameTheirLines) {
    const AccessRules rules = Read(
        "[Logging]\r\nLogLevel=1\r\n[Access]\r\n"
        "; a comment\r\n"
        "Rule1 = ALLOW Status 10.1.2.3/8\r\n"          // line 5: host bits dropped
        "rule7=deny print-waiting [fd00::1]/8 Lp\r\n"  // any key starting with Rule
        "Rule2=allow all ::ffff:192.168.0.0/112\r\n"   // mapped: an IPv4 network
        "Rule3=permit submit any\r\n"                  // line 8
        "Rule4=allow print any\r\n"                    // line 9
        "Rule5=allow submit 10.0.0.0/33\r\n"           // line 10
        "Rule6=allow submit\r\n"                       // line 11
        "Other=allow submit any\r\n"                   // line 12
        "not a key\r\n"                                // line 13
        "RemoveNeedsPrivilegedPort=y\r\n"
        "[Next]\r\nRule9=deny all any\r\n");
    std::vector<std::string> texts;
    for (const AccessRule& rule : rules.Rules()) {
        texts.push_back(rule.Text());
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{"allow status 10.0.0.0/8", "deny print-waiting fd00::/8 Lp",
                                        "allow all 192.168.0.0/16"}));
    std::vector<int> lines;
    for (const auto& problem : rules.Problems()) {
        lines.push_back(problem.line);
    }
    EXPECT_EQ(lines, (std::vector<int>{8, 9, 10, 11, 12, 13}));
    EXPECT_TRUE(rules.Present());
    EXPECT_TRUE(rules.RemoveNeedsPrivilegedPort());
}

TEST_F(AccessRulesTest, DefaultRulesServeTheLocalNetworksOnly) {
    const AccessRules rules = Read(AccessRules::DefaultSectionText());
    EXPECT_TRUE(rules.Problems().empty());
    const std::tuple<std::string, bool, bool> rows[] = {
        // peer, may submit, operator
        {"127.200.0.1", true, true},  {"::1", true, true},
        {"local", true, true},        {"172.31.255.255", true, false},
        {"172.32.0.1", false, false}, {"fd12::3", true, false},
        {"fe00::1", false, false},    {"::ffff:10.0.0.1", true, false},
    };
    for (const auto& [peer, allowed, operatorStanding] : rows) {
        EXPECT_EQ(rules.Allows(Op::kSubmit, Peer(peer), "lp"), allowed) << peer;
        EXPECT_EQ(rules.IsOperator(Peer(peer), "lp"), operatorStanding) << peer;
    }
    // Without the section: everything for everybody, operator standing for nobody.
    const AccessRules none = Read("[Logging]\r\n");
    EXPECT_FALSE(none.Present());
    EXPECT_TRUE(none.Allows(Op::kRemove, Peer("8.8.8.8"), "lp"));
    EXPECT_FALSE(none.IsOperator(Peer("127.0.0.1"), "lp"));
}

TEST_F(AccessRulesTest, FirstMatchWinsPerOperationAndQueue) {
    const AccessRules rules = Read(
        "[Access]\r\nRule1=deny submit any LP\r\nRule2=allow status 10.0.0.0/8\r\n"
        "Rule3=allow operator 10.9.0.0/16 lp\r\nRule4=deny all 10.0.0.0/8\r\n"
        "Rule5=deny operator 2001:db8::/32\r\nRule6=allow operator any\r\n");
    const std::tuple<Op, std::string, std::string, bool> rows[] = {
        {Op::kSubmit, "192.0.2.1", "lp", false},  // the queue without regard to case
        {Op::kStatus, "10.1.1.1", "lp", true},
        {Op::kRemove, "10.1.1.1", "lp", false},
        {Op::kRemove, "192.0.2.1", "lp", true},  // no rule matches: allowed
        {Op::kOperator, "10.9.1.1", "lp", true},
        {Op::kOperator, "10.9.1.1", "other", true},  // "all" never answers operator
        {Op::kOperator, "2001:db8::5", "lp", false},
    };
    for (const auto& [op, peer, queue, allowed] : rows) {
        EXPECT_EQ(op == Op::kOperator ? rules.IsOperator(Peer(peer), queue)
                                      : rules.Allows(op, Peer(peer), queue),
                  allowed)
            << AccessOperationName(op) << " " << peer << " " << queue;
    }
}

}  // namespace
}  // namespace pg
