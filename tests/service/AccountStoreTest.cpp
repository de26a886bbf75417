#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
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

TEST_F(AccountStoreTest, ChangeCountMovesWithWhatLiveSessionsFollowOnly) {
    int64_t last = 0;
    ASSERT_EQ(store->changeCount(last), StoreResult::Ok);
    auto moved = [&] {
        int64_t now = 0;
        EXPECT_EQ(store->changeCount(now), StoreResult::Ok);
        bool result = now > last;
        last = now;
        return result;
    };
    store->addPartners("anna", "ben");
    EXPECT_TRUE(moved()) << "partner add";
    store->removePartners("anna", "ben");
    EXPECT_TRUE(moved()) << "partner del";
    store->setMaster("ben", "anna");
    EXPECT_TRUE(moved()) << "master set";
    store->clearMaster("ben");
    EXPECT_TRUE(moved()) << "master clear";
    store->setFlags("cleo", 0);
    EXPECT_TRUE(moved()) << "user studio";
    store->setPasswordHash("cleo", "h2");
    EXPECT_FALSE(moved()) << "a new password changes nothing a session shows";
    EXPECT_EQ(store->removePartners("anna", "ben"), StoreResult::NotFound);
    EXPECT_EQ(store->setMaster("anna", "anna"), StoreResult::Invalid);
    std::vector<UserSummary> users;
    store->listUsers(users);
    EXPECT_FALSE(moved()) << "refusals and reads";
    store->deleteUser("cleo");
    EXPECT_TRUE(moved()) << "user del";
}

TEST_F(AccountStoreTest, ReadAccountsGivesPairsAndMastersAndLeavesOutDeletedIds) {
    int64_t anna = idOf("anna");
    int64_t ben = idOf("ben");
    int64_t cleo = idOf("cleo");
    store->addPartners("anna", "ben");
    store->addPartners("cleo", "anna");
    store->setMaster("ben", "cleo");
    store->setFlags("cleo", 0);
    store->deleteUser("ben");
    std::vector<Account> found;
    int64_t count = -1;
    ASSERT_EQ(store->readAccounts({cleo, ben, anna, 9999}, found, count), StoreResult::Ok);
    int64_t current = -2;
    store->changeCount(current);
    EXPECT_EQ(count, current);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].id, cleo);
    EXPECT_EQ(found[0].name, "cleo");
    EXPECT_EQ(found[0].flags, 0);
    EXPECT_EQ(found[0].partnerIds, std::vector<int64_t>{anna});
    EXPECT_EQ(found[1].name, "anna");
    EXPECT_EQ(found[1].flags, 16);
    EXPECT_EQ(found[1].partnerIds, std::vector<int64_t>{cleo}) << "the pair with ben went with him";

    ASSERT_TRUE(store->beginBatch());
    store->setMaster("anna", "cleo");
    ASSERT_EQ(store->readAccounts({anna}, found, count), StoreResult::Ok) << "inside an open batch";
    EXPECT_EQ(found.at(0).masterId, cleo);
    EXPECT_TRUE(store->commitBatch());
}

TEST(AccountStoreFile, ChangesByAnotherConnectionMoveTheCount) {
    std::string path = ::testing::TempDir() + "tvn_store_count_" + std::to_string(::getpid()) + ".db";
    std::string error;
    auto service = AccountStore::open(path, true, error);
    ASSERT_TRUE(service) << error;
    auto admin = AccountStore::open(path, false, error);
    ASSERT_TRUE(admin) << error;
    admin->addUser("anna", "h", 16);
    admin->addUser("ben", "h", 16);
    int64_t before = 0;
    ASSERT_EQ(service->changeCount(before), StoreResult::Ok);
    ASSERT_EQ(admin->addPartners("anna", "ben"), StoreResult::Ok);
    int64_t after = 0;
    ASSERT_EQ(service->changeCount(after), StoreResult::Ok);
    EXPECT_GT(after, before);
    StoredUser anna;
    ASSERT_EQ(service->findUser("anna", anna), StoreResult::Ok);
    std::vector<Account> found;
    ASSERT_EQ(service->readAccounts({anna.id}, found, after), StoreResult::Ok);
    EXPECT_EQ(found.at(0).partnerIds.size(), 1u);
    service.reset();
    admin.reset();
    for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
}

TEST(AccountStoreFile, DatabaseMadeBeforeTheChangeCountGetsIt) {
    std::string path = ::testing::TempDir() + "tvn_store_old_" + std::to_string(::getpid()) + ".db";
    std::string error;
    {
        auto store = AccountStore::open(path, true, error);
        ASSERT_TRUE(store) << error;
        store->addUser("anna", "h", 16);
        store->addUser("ben", "h", 16);
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "DROP TRIGGER count_user_deleted; DROP TRIGGER count_user_changed;"
                           "DROP TRIGGER count_pair_added; DROP TRIGGER count_pair_changed;"
                           "DROP TRIGGER count_pair_removed; DROP TABLE account_changes;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);

    auto store = AccountStore::open(path, false, error);
    ASSERT_TRUE(store) << error;
    int64_t before = -1;
    ASSERT_EQ(store->changeCount(before), StoreResult::Ok) << store->lastError();
    store->addPartners("anna", "ben");
    int64_t after = -1;
    store->changeCount(after);
    EXPECT_GT(after, before);
    store.reset();
    for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
}

TEST(AccountStoreFile, NewDatabaseAndItsLogFilesAreForTheOwnerOnly) {
    std::string path = ::testing::TempDir() + "tvn_store_mode_" + std::to_string(::getpid()) + ".db";
    mode_t umaskBefore = ::umask(022);  // a common umask, which leaves new files readable by all
    std::string error;
    auto store = AccountStore::open(path, true, error);
    bool added = store && store->addUser("anna", "h", 16) == StoreResult::Ok;
    ::umask(umaskBefore);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(added);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        struct stat st;
        ASSERT_EQ(::stat((path + suffix).c_str(), &st), 0) << suffix;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << "database" << suffix;
    }
    store.reset();
    for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
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
