// The tarvonet-service program itself: administration, command-line errors,
// and a real `serve` in a child process.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "ChildProcess.h"
#include "PluginParser.h"
#include "RawConnection.h"
#include "TestSupport.h"

using namespace tvntest;

namespace {

const std::string kProgram = TVN_SERVICE_BINARY;

class ServiceProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = ::testing::TempDir() + "tvn_program_" + std::to_string(::getpid()) + ".db";
        removeDatabase();
    }
    void TearDown() override { removeDatabase(); }
    void removeDatabase() {
        for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((db + suffix).c_str());
    }
    int admin(std::vector<std::string> words, std::string& output) {
        std::vector<std::string> args{kProgram, "--db", db};
        args.insert(args.end(), words.begin(), words.end());
        return runProgram(args, output);
    }
    std::string db;
};

}  // namespace

TEST_F(ServiceProgramTest, BadArgumentsExitWithTwoAndTheUsage) {
    std::string out;
    EXPECT_EQ(runProgram({kProgram}, out), 2);
    EXPECT_NE(out.find("usage:"), std::string::npos);
    EXPECT_EQ(runProgram({kProgram, "serve", "--listen", "nowhere"}, out), 2);
    EXPECT_NE(out.find("--listen"), std::string::npos) << out;
    EXPECT_EQ(admin({"user", "frobnicate"}, out), 2);
    EXPECT_NE(out.find("unknown command"), std::string::npos) << out;
    EXPECT_EQ(runProgram({kProgram, "--help"}, out), 0);
}

TEST_F(ServiceProgramTest, ServeRefusesAMissingDatabaseOrContentFolder) {
    std::string out;
    EXPECT_EQ(runProgram({kProgram, "serve", "--listen", "127.0.0.1:0", "--db", db, "--content", TVN_DEFAULT_CONTENT},
                         out),
              1);
    EXPECT_NE(out.find("no database"), std::string::npos) << out;
    ASSERT_EQ(admin({"user", "add", "anna", "pw"}, out), 0);
    EXPECT_EQ(runProgram({kProgram, "serve", "--listen", "127.0.0.1:0", "--db", db, "--content", "/nonexistent/dir"},
                         out),
              1);
    EXPECT_NE(out.find("no content folder"), std::string::npos) << out;
}

TEST_F(ServiceProgramTest, ServeLogsLoginTimeOutAndStopsCleanlyOnSigterm) {
    std::string out;
    ASSERT_EQ(admin({"user", "add", "anna", "pw-anna"}, out), 0) << out;
    ChildProcess serve;
    ASSERT_TRUE(serve.start({kProgram, "serve", "--listen", "127.0.0.1:0", "--db", db, "--content",
                             TVN_DEFAULT_CONTENT, "--session-timeout", "1"}));
    std::string listening = serve.waitForLine("listening on 127.0.0.1:", 5000);
    ASSERT_FALSE(listening.empty()) << serve.errorOutput();
    int port = std::atoi(listening.c_str() + listening.find("127.0.0.1:") + 10);
    ASSERT_GT(port, 0);

    RawConnection c;
    ASSERT_TRUE(c.open("127.0.0.21", static_cast<uint16_t>(port)));
    int flags = 0;
    ASSERT_TRUE(parseLogin(c.post("action=login&username=anna&password=pw-anna&counter=58116&extra=0", false,
                                  10000),
                           flags));
    EXPECT_EQ(flags, 16);
    EXPECT_FALSE(serve.waitForLine("login \"anna\" from 127.0.0.21", 3000).empty()) << serve.errorOutput();
    EXPECT_FALSE(serve.waitForLine("timed out", 4000).empty()) << serve.errorOutput();

    ASSERT_TRUE(serve.signal(SIGTERM));
    EXPECT_FALSE(serve.waitForLine("stopped", 5000).empty()) << serve.errorOutput();
    EXPECT_EQ(serve.wait(5000), 0);
}

TEST_F(ServiceProgramTest, AdminCommandsRunWhileUsersAreOnlineReachTheRunningServe) {
    std::string out;
    ASSERT_EQ(admin({"user", "add", "anna", "pw-anna"}, out), 0) << out;
    ASSERT_EQ(admin({"user", "add", "ben", "pw-ben"}, out), 0) << out;
    ChildProcess serve;
    ASSERT_TRUE(serve.start({kProgram, "serve", "--listen", "127.0.0.1:0", "--db", db, "--content",
                             TVN_DEFAULT_CONTENT}));
    std::string listening = serve.waitForLine("listening on 127.0.0.1:", 5000);
    ASSERT_FALSE(listening.empty()) << serve.errorOutput();
    uint16_t port = static_cast<uint16_t>(std::atoi(listening.c_str() + listening.find("127.0.0.1:") + 10));
    RawConnection anna;
    RawConnection ben;
    int flags = 0;
    ASSERT_TRUE(anna.open("127.0.0.22", port));
    ASSERT_TRUE(parseLogin(anna.post("action=login&username=anna&password=pw-anna&counter=1&extra=0", false, 10000),
                           flags));
    ASSERT_TRUE(ben.open("127.0.0.23", port));
    ASSERT_TRUE(
        parseLogin(ben.post("action=login&username=ben&password=pw-ben&counter=1&extra=0", false, 10000), flags));
    auto partnerBit = [](RawConnection& viewer) {
        std::vector<ListedUser> users;
        return parseOnlineList(viewer.post("action=onlinelist", true), users) == 1 ? users[0].partner : -1;
    };
    ASSERT_EQ(partnerBit(anna), 0);

    ASSERT_EQ(admin({"partner", "add", "anna", "ben"}, out), 0) << out;
    EXPECT_TRUE(waitUntil([&] { return partnerBit(anna) == 1; }, 3000)) << serve.errorOutput();
    EXPECT_TRUE(waitUntil([&] { return partnerBit(ben) == 1; }, 3000));
    ASSERT_EQ(admin({"user", "del", "ben"}, out), 0) << out;
    EXPECT_FALSE(serve.waitForLine("session of \"ben\" at 127.0.0.23 ended", 3000).empty()) << serve.errorOutput();
    EXPECT_NE(ben.post("action=keepalive&flags=0", true).find("4006"), std::string::npos);

    ASSERT_TRUE(serve.signal(SIGTERM));
    EXPECT_EQ(serve.wait(5000), 0);
}

TEST_F(ServiceProgramTest, ServeReportsABusyPort) {
    std::string out;
    ASSERT_EQ(admin({"user", "add", "anna", "pw"}, out), 0);
    ChildProcess first;
    ASSERT_TRUE(first.start({kProgram, "serve", "--listen", "127.0.0.1:0", "--db", db, "--content",
                             TVN_DEFAULT_CONTENT}));
    std::string listening = first.waitForLine("listening on 127.0.0.1:", 5000);
    ASSERT_FALSE(listening.empty());
    std::string address = listening.substr(listening.find("127.0.0.1:"));
    address = address.substr(0, address.find(','));
    EXPECT_EQ(runProgram({kProgram, "serve", "--listen", address, "--db", db, "--content", TVN_DEFAULT_CONTENT}, out),
              1);
    EXPECT_NE(out.find("cannot listen"), std::string::npos) << out;
    first.signal(SIGTERM);
    EXPECT_EQ(first.wait(5000), 0);
}
