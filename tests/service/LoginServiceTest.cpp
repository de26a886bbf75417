#include <gtest/gtest.h>

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

class LoginServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(initPasswordHashing());
        std::string error;
        store = AccountStore::open(":memory:", true, error);
        ASSERT_TRUE(store) << error;
        addUser("anna", "s3cret", 0);
        addUser("b&n=1", "p=w&x", 16);
        logins = std::make_unique<LoginService>(*store, table, clock, log, HashCost::minimal());
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
                           replies::loginUnavailable(), replies::unknownAction(), replies::bodyTooLarge(),
                           replies::badRequest("x"), logins->login(kAnnaIp, "action=login&username=anna")}) {
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
