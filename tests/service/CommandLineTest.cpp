#include <gtest/gtest.h>

#include "CommandLine.h"

using namespace tarvonet;

namespace {

bool parse(std::vector<std::string> args, CommandLine& out, std::string& error) {
    return parseCommandLine(args, out, error);
}

}  // namespace

TEST(CommandLine, ServeTakesItsOptionsInAnyOrder) {
    CommandLine c;
    std::string error;
    ASSERT_TRUE(parse({"serve", "--db", "a.db", "--session-timeout", "5", "--content", "c", "--listen",
                       "127.0.0.1:8080"},
                      c, error))
        << error;
    EXPECT_EQ(c.kind, CommandLine::Kind::Serve);
    EXPECT_EQ(c.serve.address, 0x7F000001u);
    EXPECT_EQ(c.serve.port, 8080);
    EXPECT_EQ(c.serve.database, "a.db");
    EXPECT_EQ(c.serve.contentFolder, "c");
    EXPECT_EQ(c.serve.sessionTimeoutSeconds, 5);
}

TEST(CommandLine, SessionTimeOutDefaultsToThirtySeconds) {
    CommandLine c;
    std::string error;
    ASSERT_TRUE(parse({"serve", "--listen", "0.0.0.0:80", "--db", "a", "--content", "c"}, c, error));
    EXPECT_EQ(c.serve.sessionTimeoutSeconds, 30);
}

TEST(CommandLine, ServeRefusesMissingAndMalformedOptions) {
    CommandLine c;
    std::string error;
    EXPECT_FALSE(parse({"serve", "--db", "a", "--content", "c"}, c, error));
    EXPECT_FALSE(parse({"serve", "--listen", "localhost:80", "--db", "a", "--content", "c"}, c, error));
    EXPECT_FALSE(parse({"serve", "--listen", "1.2.3.4:70000", "--db", "a", "--content", "c"}, c, error));
    EXPECT_FALSE(parse({"serve", "--listen", "1.2.3.4", "--db", "a", "--content", "c"}, c, error));
    EXPECT_FALSE(parse({"serve", "--listen", "1.2.3.4:80", "--db", "a", "--content", "c", "--session-timeout", "0"},
                       c, error));
    EXPECT_FALSE(parse({"serve", "--listen", "1.2.3.4:80", "--db", "a", "--content", "c", "--bogus", "1"}, c,
                       error));
    EXPECT_FALSE(parse({"serve", "--listen", "1.2.3.4:80", "--db", "a", "--content"}, c, error));
    EXPECT_NE(error.find("--content"), std::string::npos);
}

TEST(CommandLine, UserAddWithAndWithoutStudio) {
    CommandLine c;
    std::string error;
    ASSERT_TRUE(parse({"--db", "f", "user", "add", "anna", "pw", "--studio"}, c, error));
    EXPECT_EQ(c.admin.verb, AdminVerb::UserAdd);
    EXPECT_TRUE(c.admin.studio);
    EXPECT_EQ(c.admin.name, "anna");
    EXPECT_EQ(c.admin.other, "pw");
    ASSERT_TRUE(parse({"--db", "f", "user", "add", "ben", "pw"}, c, error));
    EXPECT_FALSE(c.admin.studio);
}

TEST(CommandLine, EveryAdministrationCommandIsRecognised) {
    CommandLine c;
    std::string error;
    struct Case {
        std::vector<std::string> words;
        AdminVerb verb;
    };
    for (const Case& k : std::vector<Case>{{{"user", "del", "a"}, AdminVerb::UserDelete},
                                           {{"user", "list"}, AdminVerb::UserList},
                                           {{"user", "studio", "a", "on"}, AdminVerb::UserStudio},
                                           {{"user", "passwd", "a", "p"}, AdminVerb::UserPassword},
                                           {{"partner", "add", "a", "b"}, AdminVerb::PartnerAdd},
                                           {{"partner", "del", "a", "b"}, AdminVerb::PartnerDelete},
                                           {{"master", "set", "a", "b"}, AdminVerb::MasterSet},
                                           {{"master", "clear", "a"}, AdminVerb::MasterClear}}) {
        std::vector<std::string> args{"--db", "f"};
        args.insert(args.end(), k.words.begin(), k.words.end());
        ASSERT_TRUE(parse(args, c, error)) << error;
        EXPECT_EQ(c.admin.verb, k.verb);
    }
}

TEST(CommandLine, AdministrationRefusesWrongArityUnknownWordsAndMissingDb) {
    CommandLine c;
    std::string error;
    EXPECT_FALSE(parse({"user", "list"}, c, error));
    EXPECT_FALSE(parse({"--db", "f", "user", "add", "a"}, c, error));
    EXPECT_FALSE(parse({"--db", "f", "user", "add", "a", "p", "--admin"}, c, error));
    EXPECT_FALSE(parse({"--db", "f", "user", "studio", "a", "yes"}, c, error));
    EXPECT_FALSE(parse({"--db", "f", "partner", "add", "a"}, c, error));
    EXPECT_FALSE(parse({"--db", "f", "master", "set", "a"}, c, error));
    EXPECT_FALSE(parse({"--db", "f", "group", "add", "a"}, c, error));
    EXPECT_FALSE(parse({"--db", "", "user", "list"}, c, error));
    EXPECT_FALSE(parse({}, c, error));
}
