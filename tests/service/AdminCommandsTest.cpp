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
        removeDatabase();
    }
    void TearDown() override { removeDatabase(); }
    void removeDatabase() {
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
    std::string path;
    std::ostringstream out;
    std::ostringstream err;
};

}  // namespace

TEST_F(AdminCommandsTest, UserAddCreatesTheDatabaseAndStoresAHashNotThePassword) {
    ASSERT_EQ(run({"user", "add", "anna", "plain-secret", "--studio"}), 0) << err.str();
    std::string error;
    auto store = AccountStore::open(path, false, error);
    ASSERT_TRUE(store) << error;
    StoredUser user;
    ASSERT_EQ(store->findUser("anna", user), StoreResult::Ok);
    EXPECT_EQ(user.flags, 0);
    EXPECT_EQ(user.passwordHash.find("plain-secret"), std::string::npos);
    EXPECT_EQ(user.passwordHash.rfind("$argon2", 0), 0u);
}

TEST_F(AdminCommandsTest, UsersWithoutStudioAreLimited) {
    ASSERT_EQ(run({"user", "add", "ben", "pw"}), 0);
    ASSERT_EQ(run({"user", "list"}), 0);
    EXPECT_NE(out.str().find("ben\tlimited\t-\t-"), std::string::npos) << out.str();
    ASSERT_EQ(run({"user", "studio", "ben", "on"}), 0);
    ASSERT_EQ(run({"user", "list"}), 0);
    EXPECT_NE(out.str().find("ben\tstudio"), std::string::npos) << out.str();
}

TEST_F(AdminCommandsTest, RefusalsExitWithOneAndSayWhy) {
    ASSERT_EQ(run({"user", "add", "anna", "pw"}), 0);
    EXPECT_EQ(run({"user", "add", "anna", "pw"}), 1);
    EXPECT_NE(err.str().find("exists already"), std::string::npos);
    EXPECT_EQ(run({"user", "del", "nobody"}), 1);
    EXPECT_NE(err.str().find("nobody"), std::string::npos);
    EXPECT_EQ(run({"user", "add", "PLXNAME:x", "pw"}), 1);
    EXPECT_EQ(run({"partner", "add", "anna", "anna"}), 1);
    EXPECT_EQ(run({"master", "set", "anna", "anna"}), 1);
}

TEST_F(AdminCommandsTest, CommandsOtherThanUserAddNeedAnExistingDatabase) {
    EXPECT_EQ(run({"user", "list"}), 1);
    EXPECT_NE(err.str().find("no database"), std::string::npos);
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "the typo must not leave an empty database behind";
}

TEST_F(AdminCommandsTest, PasswordDashIsReadFromStandardInput) {
    ASSERT_EQ(run({"user", "add", "anna", "-"}, "from stdin\r\n"), 0) << err.str();
    std::string error;
    auto store = AccountStore::open(path, false, error);
    StoredUser user;
    ASSERT_EQ(store->findUser("anna", user), StoreResult::Ok);
    EXPECT_TRUE(verifyPassword(user.passwordHash, "from stdin"));
    EXPECT_EQ(run({"user", "passwd", "anna", "-"}, ""), 1) << "no line on standard input";
}

TEST_F(AdminCommandsTest, PartnersAndMastersShowInTheList) {
    for (const char* name : {"anna", "ben", "cleo"}) ASSERT_EQ(run({"user", "add", name, "pw"}), 0);
    ASSERT_EQ(run({"partner", "add", "anna", "ben"}), 0);
    ASSERT_EQ(run({"partner", "add", "anna", "cleo"}), 0);
    ASSERT_EQ(run({"master", "set", "cleo", "anna"}), 0);
    ASSERT_EQ(run({"user", "list"}), 0);
    EXPECT_NE(out.str().find("anna\tlimited\t-\tben,cleo\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("cleo\tlimited\tanna\tanna\n"), std::string::npos) << out.str();
    ASSERT_EQ(run({"partner", "del", "anna", "ben"}), 0);
    ASSERT_EQ(run({"master", "clear", "cleo"}), 0);
    ASSERT_EQ(run({"user", "list"}), 0);
    EXPECT_NE(out.str().find("ben\tlimited\t-\t-\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("cleo\tlimited\t-\tanna\n"), std::string::npos) << out.str();
}
