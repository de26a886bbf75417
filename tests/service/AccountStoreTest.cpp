#include <gtest/gtest.h>

#include <unistd.h>

#include "AccountStore.h"

using namespace tarvonet;

namespace {

class AccountStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        store = AccountStore::open(":memory:", true, error);
        ASSERT_TRUE(store) << error;
        for (const char* name : {"anna", "ben", "cleo", "dora"}) {
            ASSERT_EQ(store->addUser(name, "hash-of-" + std::string(name), 16), StoreResult::Ok);
        }
    }
    int64_t idOf(const char* name) {
        StoredUser user;
        EXPECT_EQ(store->findUser(name, user), StoreResult::Ok);
        return user.id;
    }
    std::unique_ptr<AccountStore> store;
};

}  // namespace

TEST_F(AccountStoreTest, FindsWhatWasAdded) {
    StoredUser user;
    ASSERT_EQ(store->findUser("ben", user), StoreResult::Ok);
    EXPECT_EQ(user.name, "ben");
    EXPECT_EQ(user.passwordHash, "hash-of-ben");
    EXPECT_EQ(user.flags, 16);
    EXPECT_EQ(user.masterId, 0);
    EXPECT_EQ(store->findUser("Ben", user), StoreResult::NotFound) << "names are case-sensitive";
}

TEST_F(AccountStoreTest, QuotesInNamesAreDataNotSql) {
    const char* nasty = "x'); DROP TABLE users; --";
    ASSERT_EQ(store->addUser(nasty, "h", 0), StoreResult::Ok);
    StoredUser user;
    ASSERT_EQ(store->findUser(nasty, user), StoreResult::Ok);
    EXPECT_EQ(user.name, nasty);
    EXPECT_EQ(store->findUser("anna", user), StoreResult::Ok);
}

TEST_F(AccountStoreTest, DuplicateNameIsRefused) {
    EXPECT_EQ(store->addUser("anna", "other", 0), StoreResult::AlreadyExists);
    EXPECT_NE(store->lastError().find("anna"), std::string::npos);
}

TEST_F(AccountStoreTest, FlagsAndPasswordCanBeChanged) {
    ASSERT_EQ(store->setFlags("anna", 0), StoreResult::Ok);
    ASSERT_EQ(store->setPasswordHash("anna", "new"), StoreResult::Ok);
    StoredUser user;
    store->findUser("anna", user);
    EXPECT_EQ(user.flags, 0);
    EXPECT_EQ(user.passwordHash, "new");
    EXPECT_EQ(store->setFlags("nobody", 0), StoreResult::NotFound);
}

TEST_F(AccountStoreTest, PartnerPairsWorkBothWays) {
    ASSERT_EQ(store->addPartners("cleo", "anna"), StoreResult::Ok);
    ASSERT_EQ(store->addPartners("anna", "ben"), StoreResult::Ok);
    EXPECT_EQ(store->addPartners("anna", "cleo"), StoreResult::AlreadyExists);
    EXPECT_EQ(store->addPartners("anna", "anna"), StoreResult::Invalid);
    EXPECT_EQ(store->addPartners("anna", "nobody"), StoreResult::NotFound);
    std::vector<int64_t> ids;
    ASSERT_EQ(store->partnerIds(idOf("anna"), ids), StoreResult::Ok);
    EXPECT_EQ(ids.size(), 2u);
    ASSERT_EQ(store->partnerIds(idOf("cleo"), ids), StoreResult::Ok);
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(ids[0], idOf("anna"));
    ASSERT_EQ(store->removePartners("anna", "cleo"), StoreResult::Ok);
    EXPECT_EQ(store->removePartners("anna", "cleo"), StoreResult::NotFound);
}

TEST_F(AccountStoreTest, MasterChainsMustNotCloseACircle) {
    ASSERT_EQ(store->setMaster("ben", "anna"), StoreResult::Ok);
    ASSERT_EQ(store->setMaster("cleo", "ben"), StoreResult::Ok);
    EXPECT_EQ(store->setMaster("anna", "cleo"), StoreResult::Invalid);
    EXPECT_EQ(store->setMaster("anna", "anna"), StoreResult::Invalid);
    StoredUser user;
    store->findUser("cleo", user);
    EXPECT_EQ(user.masterId, idOf("ben"));
    ASSERT_EQ(store->clearMaster("cleo"), StoreResult::Ok);
    store->findUser("cleo", user);
    EXPECT_EQ(user.masterId, 0);
}

TEST_F(AccountStoreTest, DeletingAUserDropsHisPairsAndFreesHisDependents) {
    store->addPartners("anna", "ben");
    store->setMaster("cleo", "anna");
    ASSERT_EQ(store->deleteUser("anna"), StoreResult::Ok);
    EXPECT_EQ(store->deleteUser("anna"), StoreResult::NotFound);
    std::vector<int64_t> ids;
    store->partnerIds(idOf("ben"), ids);
    EXPECT_TRUE(ids.empty());
    StoredUser user;
    store->findUser("cleo", user);
    EXPECT_EQ(user.masterId, 0);
}

TEST_F(AccountStoreTest, ListShowsFlagsMastersAndPartnersByName) {
    store->setFlags("ben", 0);
    store->addPartners("anna", "ben");
    store->addPartners("anna", "cleo");
    store->setMaster("dora", "anna");
    std::vector<UserSummary> users;
    ASSERT_EQ(store->listUsers(users), StoreResult::Ok);
    ASSERT_EQ(users.size(), 4u);
    EXPECT_EQ(users[0].name, "anna");
    EXPECT_EQ(users[0].partners, (std::vector<std::string>{"ben", "cleo"}));
    EXPECT_EQ(users[1].flags, 0);
    EXPECT_EQ(users[1].partners, (std::vector<std::string>{"anna"}));
    EXPECT_EQ(users[3].master, "anna");
}

TEST(AccountStoreFile, MissingFileIsAnErrorUnlessCreating) {
    std::string path = ::testing::TempDir() + "tvn_store_" + std::to_string(::getpid()) + ".db";
    ::unlink(path.c_str());
    std::string error;
    EXPECT_FALSE(AccountStore::open(path, false, error));
    EXPECT_NE(error.find(path), std::string::npos);
    {
        auto created = AccountStore::open(path, true, error);
        ASSERT_TRUE(created) << error;
        ASSERT_EQ(created->addUser("anna", "h", 16), StoreResult::Ok);
    }
    auto reopened = AccountStore::open(path, false, error);
    ASSERT_TRUE(reopened) << error;
    StoredUser user;
    EXPECT_EQ(reopened->findUser("anna", user), StoreResult::Ok);
    reopened.reset();
    for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
}

TEST(AccountStoreFile, FileThatIsNoDatabaseIsRefused) {
    std::string path = ::testing::TempDir() + "tvn_notdb_" + std::to_string(::getpid()) + ".db";
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs("this is not a database, just text that is long enough to look like a header", f);
    std::fclose(f);
    std::string error;
    EXPECT_FALSE(AccountStore::open(path, false, error));
    EXPECT_FALSE(error.empty());
    ::unlink(path.c_str());
}
