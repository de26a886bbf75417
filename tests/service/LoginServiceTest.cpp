#include <gtest/gtest.h>

#include <chrono>

#include "AccountStore.h"
#include "LoginService.h"
#include "PluginParser.h"
#include "ServiceReplies.h"
#include "SessionTable.h"
#include "TestSupport.h"

using namespace tarvonet;

namespace {

constexpr uint32_t kAnnaIp = 0x7F000002;
constexpr uint32_t kBenIp = 0x7F000003;

std::string loginBody(const std::string& user, const std::string& password, int port = 58116) {
    return "action=login&username=" + user + "&password=" + password + "&counter=" + std::to_string(port) +
           "&extra=0";
}

// The text the plug-in shows for a refused login: what stands between
// "PLXSTART" and "PLXEND".
std::string shownText(const Reply& reply) {
    size_t start = reply.body.find("PLXSTART");
    size_t end = reply.body.find("PLXEND");
    if (start == std::string::npos || end == std::string::npos || end < start + 8) return "(unreadable)";
    return reply.body.substr(start + 8, end - start - 8);
}

double secondsOf(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class LoginServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(initPasswordHashing());
        std::string error;
        store = AccountStore::open(":memory:", true, error);
        ASSERT_TRUE(store) << error;
        addUser("anna", "s3cret", 0);
        addUser("b&n=1", "p=w&x", 16);
        logins = std::make_unique<LoginService>(*store, table, clock, log, HashCost::minimal(), limits);
    }
    void addUser(const std::string& name, const std::string& password, int flags) {
        std::string hash;
        ASSERT_TRUE(hashPassword(password, HashCost::minimal(), hash));
        ASSERT_EQ(store->addUser(name, hash, flags), StoreResult::Ok);
    }
    bool accepted(const Reply& reply) {
        int flags = 0;
        return tvntest::parseLogin(reply.body, flags);
    }
    static LoginLimits testLimits() {
        LoginLimits l;
        l.windowMs = 60000;
        l.failuresPerAddress = 6;
        l.failuresPerAccount = 3;
        return l;
    }
    LoginLimits limits = testLimits();
    std::unique_ptr<AccountStore> store;
    SessionTable table{SessionLimits{}};
    tvntest::ManualClock clock;
    tvntest::MemoryLog log;
    std::unique_ptr<LoginService> logins;
};

}  // namespace

TEST_F(LoginServiceTest, NameAndPasswordWithFormCharactersLogInAtTheirPort) {
    Reply reply = logins->login(kBenIp, loginBody("b&n=1", "p=w&x", 40000));
    int flags = -1;
    ASSERT_TRUE(tvntest::parseLogin(reply.body, flags)) << reply.body;
    EXPECT_EQ(flags, 16);
    logins->login(kAnnaIp, loginBody("anna", "s3cret"));
    std::vector<tvntest::ListedUser> users;
    ASSERT_EQ(tvntest::parseOnlineList(table.onlineList(kAnnaIp, clock.now).list->text, users), 1);
    EXPECT_EQ(users[0].name, "b&n=1");
    EXPECT_EQ(users[0].port, 40000);
    EXPECT_TRUE(log.contains("login \"b&n=1\" from 127.0.0.3 udp port 40000 flags 16"));
}

TEST_F(LoginServiceTest, WrongPasswordAndUnknownNameAreRefusedAlike) {
    Reply wrong = logins->login(kAnnaIp, loginBody("anna", "s3cretx"));
    Reply prefix = logins->login(kAnnaIp, loginBody("anna", "s3cre"));
    Reply unknown = logins->login(kAnnaIp, loginBody("nobody", "guess"));
    EXPECT_FALSE(accepted(wrong));
    EXPECT_FALSE(accepted(prefix));
    EXPECT_EQ(wrong.body, unknown.body);
    EXPECT_EQ(table.sessionCount(), 0u);
    EXPECT_TRUE(log.contains("wrong password"));
}

TEST_F(LoginServiceTest, NoRefusalTheServiceSendsReadsAsSuccess) {
    for (const Reply& r : {replies::loginRefused(), replies::loginMalformed(), replies::loginBusy(),
                           replies::loginUnavailable(), replies::loginLimitedAddress(999),
                           replies::loginLimitedAccount(1), replies::loginAddressTaken(), replies::unknownAction(),
                           replies::bodyTooLarge(), replies::badRequest("x"),
                           logins->login(kAnnaIp, "action=login&username=anna")}) {
        EXPECT_FALSE(accepted(r)) << r.body;
        EXPECT_NE(r.body.find("PLXEND"), std::string::npos) << "the plug-in shows the text up to PLXEND";
    }
}

TEST_F(LoginServiceTest, ControlCharactersInANameAreRefusedAndNeverLogged) {
    EXPECT_FALSE(accepted(logins->login(kAnnaIp, loginBody("evil\r\nforged log line", "x"))));
    EXPECT_FALSE(log.contains("forged"));
}

TEST_F(LoginServiceTest, PartnersAndMasterComeFromTheAccounts) {
    addUser("teacher", "t", 0);
    ASSERT_EQ(store->setMaster("anna", "teacher"), StoreResult::Ok);
    ASSERT_EQ(store->addPartners("anna", "b&n=1"), StoreResult::Ok);
    logins->login(kAnnaIp, loginBody("anna", "s3cret"));
    logins->login(kBenIp, loginBody("b&n=1", "p=w&x"));
    EXPECT_EQ(table.onlineList(kAnnaIp, clock.now).status, ListStatus::MasterLoggedOut);
    logins->login(0x7F000009, loginBody("teacher", "t"));
    std::vector<tvntest::ListedUser> users;
    ASSERT_EQ(tvntest::parseOnlineList(table.onlineList(kAnnaIp, clock.now).list->text, users), 2);
    EXPECT_EQ(users[0].name, "b&n=1");
    EXPECT_EQ(users[0].partner, 1);
    EXPECT_EQ(users[1].name, "teacher");
    EXPECT_EQ(users[1].partner, 0);
}

TEST_F(LoginServiceTest, SecondLoginOfTheSameAccountElsewhereReplacesTheFirst) {
    logins->login(kAnnaIp, loginBody("anna", "s3cret"));
    logins->login(kBenIp, loginBody("anna", "s3cret"));
    EXPECT_TRUE(log.contains("session of \"anna\" at 127.0.0.2 replaced"));
    EXPECT_EQ(table.sessionCount(), 1u);
}

TEST_F(LoginServiceTest, SecondAccountAtAnAddressIsToldSoAndTheFirstKeepsItsSession) {
    ASSERT_TRUE(accepted(logins->login(kAnnaIp, loginBody("anna", "s3cret"))));
    Reply second = logins->login(kAnnaIp, loginBody("b&n=1", "p=w&x"));
    EXPECT_FALSE(accepted(second));
    EXPECT_EQ(shownText(second), "4012 Another user is logged in from your address.");
    EXPECT_TRUE(log.contains("login refused from 127.0.0.2 for \"b&n=1\": \"anna\" is logged in"));
    logins->login(kBenIp, loginBody("b&n=1", "p=w&x"));
    std::vector<tvntest::ListedUser> users;
    ASSERT_EQ(tvntest::parseOnlineList(table.onlineList(kBenIp, clock.now).list->text, users), 1);
    EXPECT_EQ(users[0].name, "anna");
}

// Failed logins, limited per address and per name, in a window of 60 s;
// 6 failures from one address, 3 for one name.
TEST_F(LoginServiceTest, AddressWithTooManyFailuresIsRefusedWithoutPasswordChecksUntilTheWindowEnds) {
    std::string hash;
    ASSERT_TRUE(hashPassword("slow-pw", HashCost::interactive(), hash));  // a check takes a noticeable time
    ASSERT_EQ(store->addUser("slow", hash, 16), StoreResult::Ok);
    double oneCheck = 0;
    for (int i = 0; i < 6; ++i) {
        oneCheck = secondsOf([&] {
            EXPECT_EQ(shownText(logins->login(kAnnaIp, loginBody(i % 2 ? "slow" : "nobody" + std::to_string(i),
                                                                 "guess" + std::to_string(i)))),
                      "4001 Wrong user name or password.");
        });
    }
    size_t logLines = log.lines().size();
    clock.now += 1000;
    double refusals = secondsOf([&] {
        for (int i = 0; i < 10; ++i) {
            Reply reply = logins->login(kAnnaIp, loginBody("slow", "slow-pw"));
            EXPECT_FALSE(accepted(reply)) << "not even with the right password";
            EXPECT_EQ(shownText(reply), "4010 Too many failed logins from your address, wait 1 min.");
        }
    });
    EXPECT_LT(refusals, 3 * oneCheck) << "ten refusals must not cost ten password checks";
    EXPECT_EQ(log.lines().size(), logLines) << "one line when the limit was reached, none per refusal";
    EXPECT_TRUE(log.contains("too many failed logins from 127.0.0.2"));

    EXPECT_TRUE(accepted(logins->login(kBenIp, loginBody("b&n=1", "p=w&x")))) << "other addresses log in";
    clock.now += 59000;
    EXPECT_TRUE(accepted(logins->login(kAnnaIp, loginBody("anna", "s3cret")))) << "the window is over";
}

TEST_F(LoginServiceTest, NameWithTooManyFailuresIsRefusedExceptWhereItLoggedInBefore) {
    ASSERT_TRUE(accepted(logins->login(kAnnaIp, loginBody("anna", "s3cret"))));
    EndedSession ended;
    table.logout(kAnnaIp, ended);
    for (uint32_t guesser : {0x7F000010u, 0x7F000011u, 0x7F000012u}) {
        EXPECT_FALSE(accepted(logins->login(guesser, loginBody("anna", "guess"))));
        EXPECT_FALSE(accepted(logins->login(guesser, loginBody("nobody", "guess"))));
    }
    for (const char* name : {"anna", "nobody"}) {
        Reply reply = logins->login(0x7F000020, loginBody(name, name == std::string("anna") ? "s3cret" : "x"));
        EXPECT_EQ(shownText(reply), "4011 Too many failed logins for this user, wait 1 min.")
            << name << ": a name with an account and one without are refused alike";
    }
    EXPECT_TRUE(accepted(logins->login(kAnnaIp, loginBody("anna", "s3cret"))))
        << "the owner's own address is not locked out by someone guessing elsewhere";
    table.logout(kAnnaIp, ended);
    clock.now += 60000;
    EXPECT_TRUE(accepted(logins->login(0x7F000020, loginBody("anna", "s3cret"))));
}
