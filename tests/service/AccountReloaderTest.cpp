// Administration changes made in the account database reach the sessions
// already logged in at the next poll.
#include <gtest/gtest.h>

#include "AccountReloader.h"
#include "AccountStore.h"
#include "PluginParser.h"
#include "SessionTable.h"
#include "TestSupport.h"

using namespace tarvonet;

namespace {

uint32_t ip(int last) { return 0x7F000000u | static_cast<uint32_t>(last); }

class AccountReloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        store = AccountStore::open(":memory:", true, error);
        ASSERT_TRUE(store) << error;
        for (const char* name : {"anna", "ben", "cleo", "teacher"}) {
            ASSERT_EQ(store->addUser(name, "h", 16), StoreResult::Ok);
        }
        reloader = std::make_unique<AccountReloader>(*store, table, log);
        reloader->poll();
    }
    // What a login reads from the store.
    void logIn(const char* name, int address) {
        StoredUser user;
        ASSERT_EQ(store->findUser(name, user), StoreResult::Ok);
        Account account;
        account.id = user.id;
        account.name = user.name;
        account.flags = user.flags;
        account.masterId = user.masterId;
        ASSERT_EQ(store->partnerIds(user.id, account.partnerIds), StoreResult::Ok);
        table.login(ip(address), account, 1, 0);
    }
    // The names `viewer` is shown, "*" marking partners.
    std::string listOf(int viewer) {
        OnlineListResult result = table.onlineList(ip(viewer), 1);
        if (result.status == ListStatus::MasterLoggedOut) return "(4007)";
        if (result.status != ListStatus::Listed) return "(4006)";
        std::vector<tvntest::ListedUser> users;
        tvntest::parseOnlineList(result.list->text, users);
        std::string names;
        for (const auto& u : users) names += (names.empty() ? "" : " ") + u.name + (u.partner ? "*" : "");
        return names;
    }
    size_t linesWith(const std::string& text) const {
        size_t n = 0;
        for (const std::string& line : log.lines()) n += line.find(text) != std::string::npos;
        return n;
    }

    std::unique_ptr<AccountStore> store;
    SessionTable table{SessionLimits{}};
    tvntest::MemoryLog log;
    std::unique_ptr<AccountReloader> reloader;
};

}  // namespace

TEST_F(AccountReloaderTest, PairAddedAndRemovedWhileBothAreOnlineChangesBothLists) {
    logIn("anna", 1);
    logIn("ben", 2);
    logIn("cleo", 3);
    ASSERT_EQ(store->addPartners("anna", "ben"), StoreResult::Ok);
    EXPECT_EQ(listOf(1), "ben cleo") << "not before the poll";
    reloader->poll();
    EXPECT_EQ(listOf(1), "ben* cleo");
    EXPECT_EQ(listOf(2), "anna* cleo");
    EXPECT_EQ(listOf(3), "anna ben");
    EXPECT_EQ(linesWith("account changes reached 2 sessions"), 1u) << log.lines().back();
    ASSERT_EQ(store->removePartners("ben", "anna"), StoreResult::Ok);
    reloader->poll();
    EXPECT_EQ(listOf(1), "ben cleo");
    EXPECT_EQ(listOf(2), "anna cleo");
    reloader->poll();
    EXPECT_EQ(linesWith("account changes reached"), 2u) << "an unchanged count reads nothing again";
}

TEST_F(AccountReloaderTest, MasterLinksFollowSetAndClear) {
    logIn("anna", 1);
    logIn("ben", 2);
    store->setMaster("ben", "teacher");
    reloader->poll();
    EXPECT_EQ(listOf(2), "(4007)");
    logIn("teacher", 4);
    EXPECT_EQ(listOf(2), "anna teacher");
    store->clearMaster("ben");
    reloader->poll();
    EXPECT_EQ(linesWith("account changes reached 1 session"), 2u);
    store->setMaster("ben", "teacher");
    EXPECT_EQ(store->deleteUser("teacher"), StoreResult::Ok) << "frees his dependents";
    reloader->poll();
    EXPECT_EQ(listOf(2), "anna");
}

TEST_F(AccountReloaderTest, DeletedUsersSessionEndsAndIsLogged) {
    logIn("anna", 1);
    logIn("cleo", 3);
    store->addPartners("anna", "cleo");
    reloader->poll();
    ASSERT_EQ(store->deleteUser("cleo"), StoreResult::Ok);
    reloader->poll();
    EXPECT_FALSE(table.keepAlive(ip(3), 0, 2));
    EXPECT_EQ(listOf(1), "");
    EXPECT_EQ(linesWith("session of \"cleo\" at 127.0.0.3 ended: the account was deleted"), 1u);
    EXPECT_EQ(table.sessionCount(), 1u);
}
