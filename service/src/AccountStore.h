#pragma once
// The accounts, in one SQLite database file: users with their password
// hashes and account flags, partner pairs, and the master account a user may
// depend on. Every query is a prepared statement with bound values.
//
// One object serialises its own calls; the service and the administration
// commands may use the same file at once (write-ahead log, busy time-out).
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Account.h"
#include "SqliteStatement.h"

struct sqlite3;

namespace tarvonet {

enum class StoreResult { Ok, NotFound, AlreadyExists, Invalid, Failed };

struct StoredUser {
    int64_t id = 0;
    std::string name;
    std::string passwordHash;
    int flags = 0;
    int64_t masterId = 0;  // 0: none
};

struct UserSummary {
    std::string name;
    int flags = 0;
    std::string master;                 // empty: none
    std::vector<std::string> partners;  // sorted by name
};

class AccountStore {
public:
    // Opens the database, creating file and tables when `create` is set;
    // without it a missing file is an error. None on failure, with `error`.
    static std::unique_ptr<AccountStore> open(const std::string& path, bool create, std::string& error);
    ~AccountStore();
    AccountStore(const AccountStore&) = delete;
    AccountStore& operator=(const AccountStore&) = delete;

    StoreResult addUser(std::string_view name, std::string_view passwordHash, int flags);
    StoreResult deleteUser(std::string_view name);
    StoreResult setPasswordHash(std::string_view name, std::string_view passwordHash);
    StoreResult setFlags(std::string_view name, int flags);
    // Partner pairs are unordered; a user is not his own partner (Invalid).
    StoreResult addPartners(std::string_view first, std::string_view second);
    StoreResult removePartners(std::string_view first, std::string_view second);
    // Invalid if the master is the user or depends on the user, directly or
    // through other masters.
    StoreResult setMaster(std::string_view name, std::string_view master);
    StoreResult clearMaster(std::string_view name);

    StoreResult findUser(std::string_view name, StoredUser& out);
    StoreResult partnerIds(int64_t userId, std::vector<int64_t>& out);
    StoreResult listUsers(std::vector<UserSummary>& out);

    // A count that grows with every change a live session must follow:
    // partner pairs, master links, flags, deleted users. Changes made by
    // another program on the same file count too.
    StoreResult changeCount(int64_t& count);
    // The accounts with these ids, as of one moment, and the change count of
    // that moment. Ids without an account (deleted users) are left out.
    StoreResult readAccounts(const std::vector<int64_t>& ids, std::vector<Account>& found, int64_t& count);

    // Groups many changes into one transaction (bulk account creation).
    bool beginBatch();
    bool commitBatch();

    // What went wrong in the last call that did not return Ok.
    std::string lastError() const;

private:
    explicit AccountStore(sqlite3* db);
    bool prepareAll();
    bool exec(const char* sql);
    StoreResult idOf(std::string_view name, int64_t& id);
    StoreResult readChangeCount(int64_t& count);
    StoreResult readPartners(int64_t userId, std::vector<int64_t>& out);
    StoreResult fail(StoreResult result, std::string message);
    StoreResult failSql(const char* what);

    mutable std::mutex lock_;
    sqlite3* db_;
    std::string lastError_;
    SqliteStatement insertUser_, deleteUser_, findUser_, findId_, findById_, setHash_, setFlags_;
    SqliteStatement insertPair_, deletePair_, partnersOf_, setMaster_, masterOf_;
    SqliteStatement listUsers_, listPairs_, changeCount_;
};

}  // namespace tarvonet
