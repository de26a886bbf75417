#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "AccountStore.h"
#include "AdminCommands.h"

using namespace tarvonet;

namespace {

class AdminCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(initPasswordHashing());
        path = ::testing::TempDir() + "tvn_admin_" + std::to_string(::getpid()) + ".db";
        TearDown();
    }
    void TearDown() override {
        for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
    }
    int run(std::vector<std::string> words, const std::string& input = "") {
        std::vector<std::string> args{"--db", path};
        args.insert(args.end(), words.begin(), words.end());
        CommandLine command;
        std::string error;
        EXPECT_TRUE(parseCommandLine(args, command, error)) << error;
        std::istringstream in(input);
        out.str("");
        err.str("");
        return runAdminCommand(command.admin, in, out, err, HashCost::minimal());
    }
    StoredUser stored(const char* name) {
        std::string error;
        auto store = AccountStore::open(path, false, error);
        StoredUser user;
        EXPECT_TRUE(store && store->findUser(name, user) == StoreResult::Ok) << error;
        return user;
    }
    std::string path;
    std::ostringstream out;
    std::ostringstream err;
};

}  // namespace

TEST_F(AdminCommandsTest, UserAddStoresAHashAndTheStudioFlag) {
    ASSERT_EQ(run({"user", "add", "anna", "plain-secret", "--studio"}), 0) << err.str();
    ASSERT_EQ(run({"user", "add", "ben", "-"}, "from stdin\r\n"), 0) << err.str();
    StoredUser anna = stored("anna");
    EXPECT_EQ(anna.flags, 0);
    EXPECT_EQ(anna.passwordHash.find("plain-secret"), std::string::npos);
    EXPECT_TRUE(verifyPassword(anna.passwordHash, "plain-secret"));
    StoredUser ben = stored("ben");
    EXPECT_EQ(ben.flags, 16);
    EXPECT_TRUE(verifyPassword(ben.passwordHash, "from stdin"));
}

TEST_F(AdminCommandsTest, ListShowsAudioMastersAndPartners) {
    for (const char* name : {"anna", "ben", "cleo"}) ASSERT_EQ(run({"user", "add", name, "pw"}), 0);
    ASSERT_EQ(run({"user", "studio", "ben", "on"}), 0);
    ASSERT_EQ(run({"partner", "add", "anna", "ben"}), 0);
    ASSERT_EQ(run({"partner", "add", "anna", "cleo"}), 0);
    ASSERT_EQ(run({"master", "set", "cleo", "anna"}), 0);
    ASSERT_EQ(run({"user", "list"}), 0);
    EXPECT_EQ(out.str(),
              "name\taudio\tmaster\tpartners\n"
              "anna\tlimited\t-\tben,cleo\n"
              "ben\tstudio\t-\tanna\n"
              "cleo\tlimited\tanna\tanna\n");
}

TEST_F(AdminCommandsTest, RefusalsExitWithOneAndSayWhy) {
    ASSERT_EQ(run({"user", "add", "anna", "pw"}), 0);
    EXPECT_EQ(run({"user", "add", "anna", "pw"}), 1);
    EXPECT_NE(err.str().find("exists already"), std::string::npos);
    EXPECT_EQ(run({"user", "del", "nobody"}), 1);
    EXPECT_NE(err.str().find("no user named \"nobody\""), std::string::npos);
    EXPECT_EQ(run({"user", "add", "PLXNAME:x", "pw"}), 1);
    EXPECT_EQ(run({"partner", "add", "anna", "anna"}), 1);
    EXPECT_EQ(run({"master", "set", "anna", "anna"}), 1);
    EXPECT_EQ(run({"user", "passwd", "anna", "-"}, ""), 1) << "no line on standard input";
}

TEST_F(AdminCommandsTest, OnlyUserAddCreatesADatabase) {
    EXPECT_EQ(run({"user", "list"}), 1);
    EXPECT_NE(err.str().find("no database"), std::string::npos);
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "a mistyped path must not leave an empty database";
}
