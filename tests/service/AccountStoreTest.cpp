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
        for (const char* name : {"anna", "ben", "cleo"}) ASSERT_EQ(store->addUser(name, "h", 16), StoreResult::Ok);
    }
    int64_t idOf(const char* name) {
        StoredUser user;
        EXPECT_EQ(store->findUser(name, user), StoreResult::Ok);
        return user.id;
    }
    std::unique_ptr<AccountStore> store;
};

}  // namespace

TEST_F(AccountStoreTest, NamesAreExactCaseSensitiveDataNeverSql) {
    const char* nasty = "x'); DROP TABLE users; --";
    ASSERT_EQ(store->addUser(nasty, "h", 0), StoreResult::Ok);
    StoredUser user;
    ASSERT_EQ(store->findUser(nasty, user), StoreResult::Ok);
    EXPECT_EQ(user.name, nasty);
    EXPECT_EQ(store->findUser("Anna", user), StoreResult::NotFound);
    EXPECT_EQ(store->addUser("anna", "other", 0), StoreResult::AlreadyExists);
    EXPECT_NE(store->lastError().find("anna"), std::string::npos);
}

TEST_F(AccountStoreTest, PartnerPairsWorkBothWaysAndOnlyOnce) {
    ASSERT_EQ(store->addPartners("cleo", "anna"), StoreResult::Ok);
    EXPECT_EQ(store->addPartners("anna", "cleo"), StoreResult::AlreadyExists);
    EXPECT_EQ(store->addPartners("anna", "anna"), StoreResult::Invalid);
    EXPECT_EQ(store->addPartners("anna", "nobody"), StoreResult::NotFound);
    std::vector<int64_t> ids;
    ASSERT_EQ(store->partnerIds(idOf("anna"), ids), StoreResult::Ok);
    EXPECT_EQ(ids, std::vector<int64_t>{idOf("cleo")});
    ASSERT_EQ(store->partnerIds(idOf("cleo"), ids), StoreResult::Ok);
    EXPECT_EQ(ids, std::vector<int64_t>{idOf("anna")});
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

TEST(AccountStoreFile, OpensOnlyExistingDatabasesUnlessCreating) {
    std::string path = ::testing::TempDir() + "tvn_store_" + std::to_string(::getpid()) + ".db";
    std::string error;
    EXPECT_FALSE(AccountStore::open(path, false, error));
    EXPECT_NE(error.find(path), std::string::npos);
    ASSERT_TRUE(AccountStore::open(path, true, error)) << error;
    EXPECT_TRUE(AccountStore::open(path, false, error)) << error;
    for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((path + suffix).c_str());

    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs("plain text, long enough to be taken for a database header by mistake", f);
    std::fclose(f);
    EXPECT_FALSE(AccountStore::open(path, false, error));
    ::unlink(path.c_str());
}
