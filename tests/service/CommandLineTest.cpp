#include <gtest/gtest.h>

#include "CommandLine.h"

using namespace tarvonet;

namespace {

bool parses(std::vector<std::string> args, CommandLine& out) {
    std::string error;
    return parseCommandLine(args, out, error);
}

}  // namespace

TEST(CommandLine, ServeTakesItsOptionsInAnyOrderWithAThirtySecondDefault) {
    CommandLine c;
    ASSERT_TRUE(parses({"serve", "--db", "a.db", "--content", "c", "--listen", "127.0.0.1:8080"}, c));
    EXPECT_EQ(c.kind, CommandLine::Kind::Serve);
    EXPECT_EQ(c.serve.address, 0x7F000001u);
    EXPECT_EQ(c.serve.port, 8080);
    EXPECT_EQ(c.serve.sessionTimeoutSeconds, 30);
    ASSERT_TRUE(parses({"serve", "--session-timeout", "5", "--listen", "0.0.0.0:80", "--db", "a", "--content", "c"}, c));
    EXPECT_EQ(c.serve.sessionTimeoutSeconds, 5);
}

TEST(CommandLine, ServeRefusesMissingAndMalformedOptions) {
    CommandLine c;
    const std::vector<std::string> base{"--db", "a", "--content", "c"};
    for (std::vector<std::string> extra : std::vector<std::vector<std::string>>{
             {},
             {"--listen", "localhost:80"},
             {"--listen", "198.51.100.4:70000"},
             {"--listen", "198.51.100.4"},
             {"--listen", "198.51.100.4:80", "--session-timeout", "0"},
             {"--listen", "198.51.100.4:80", "--bogus", "1"},
             {"--listen", "198.51.100.4:80", "--threads"}}) {
        std::vector<std::string> args{"serve"};
        args.insert(args.end(), base.begin(), base.end());
        args.insert(args.end(), extra.begin(), extra.end());
        EXPECT_FALSE(parses(args, c)) << (extra.empty() ? "no --listen" : extra[0] + " " + extra.back());
    }
}

TEST(CommandLine, AdministrationNeedsTheDbFirstAndExactWords) {
    CommandLine c;
    ASSERT_TRUE(parses({"--db", "f", "user", "add", "anna", "pw", "--studio"}, c));
    EXPECT_EQ(c.admin.verb, AdminVerb::UserAdd);
    EXPECT_TRUE(c.admin.studio);
    ASSERT_TRUE(parses({"--db", "f", "user", "add", "ben", "pw"}, c));
    EXPECT_FALSE(c.admin.studio) << "nothing left over from an earlier parse";
    ASSERT_TRUE(parses({"--db", "f", "master", "set", "a", "b"}, c));
    EXPECT_EQ(c.admin.other, "b");
    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"user", "list"},
             {"--db", "f", "user", "add", "a"},
             {"--db", "f", "user", "add", "a", "p", "--admin"},
             {"--db", "f", "user", "studio", "a", "yes"},
             {"--db", "f", "partner", "add", "a"},
             {"--db", "f", "group", "add", "a"},
             {}}) {
        EXPECT_FALSE(parses(bad, c));
    }
}
