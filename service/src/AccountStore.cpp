#include "AccountStore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace tarvonet {

namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr int kMaxMasterChain = 100000;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS users ("
    "  id INTEGER PRIMARY KEY,"
    "  name TEXT NOT NULL UNIQUE,"
    "  password_hash TEXT NOT NULL,"
    "  flags INTEGER NOT NULL,"
    "  master_id INTEGER REFERENCES users(id) ON DELETE SET NULL);"
    "CREATE TABLE IF NOT EXISTS partners ("
    "  low_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
    "  high_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
    "  PRIMARY KEY (low_id, high_id),"
    "  CHECK (low_id < high_id));"
    "CREATE INDEX IF NOT EXISTS partners_by_high ON partners(high_id);"
    // One row counting the changes a live session must follow: pairs,
    // masters, flags and deletions. Triggers keep it, so that a change made
    // by any program on the file moves it in the same transaction.
    "CREATE TABLE IF NOT EXISTS account_changes ("
    "  id INTEGER PRIMARY KEY CHECK (id = 1),"
    "  counter INTEGER NOT NULL);"
    "INSERT OR IGNORE INTO account_changes(id, counter) VALUES (1, 0);"
    "CREATE TRIGGER IF NOT EXISTS count_user_deleted AFTER DELETE ON users"
    "  BEGIN UPDATE account_changes SET counter = counter + 1 WHERE id = 1; END;"
    "CREATE TRIGGER IF NOT EXISTS count_user_changed AFTER UPDATE OF id, name, flags, master_id ON users"
    "  BEGIN UPDATE account_changes SET counter = counter + 1 WHERE id = 1; END;"
    "CREATE TRIGGER IF NOT EXISTS count_pair_added AFTER INSERT ON partners"
    "  BEGIN UPDATE account_changes SET counter = counter + 1 WHERE id = 1; END;"
    "CREATE TRIGGER IF NOT EXISTS count_pair_changed AFTER UPDATE ON partners"
    "  BEGIN UPDATE account_changes SET counter = counter + 1 WHERE id = 1; END;"
    "CREATE TRIGGER IF NOT EXISTS count_pair_removed AFTER DELETE ON partners"
    "  BEGIN UPDATE account_changes SET counter = counter + 1 WHERE id = 1; END;";

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The accounts hold password hashes: a new database file is made readable
// and writable by its owner only, whatever the umask, before SQLite opens it
// (SQLite takes an empty file for a new database). SQLite gives the -wal and
// -shm files it makes the mode of the database file. An existing file is
// left as it is.
bool createPrivateFile(const std::string& path, std::string& error) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        if (errno == EEXIST) return true;
        error = "cannot create database " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    if (!ok) error = "cannot set the mode of database " + path + ": " + std::strerror(errno);
    ::close(fd);
    return ok;
}

}  // namespace

std::unique_ptr<AccountStore> AccountStore::open(const std::string& path, bool create, std::string& error) {
    bool inMemory = path == ":memory:";
    if (!create && !inMemory && !fileExists(path)) {
        error = "no database at " + path + " (the administration commands create it)";
        return nullptr;
    }
    if (create && !inMemory && !createPrivateFile(path, error)) return nullptr;
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = "cannot open database " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<AccountStore> store(new AccountStore(db));
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    if (!store->exec("PRAGMA foreign_keys = ON;") ||
        (!inMemory && !store->exec("PRAGMA journal_mode = WAL;")) || !store->exec(kSchema) ||
        !store->prepareAll()) {
        error = "cannot use database " + path + ": " + store->lastError_;
        return nullptr;
    }
    return store;
}

AccountStore::AccountStore(sqlite3* db) : db_(db) {}

// The statements are finalised after this body; sqlite3_close_v2 closes the
// database when the last of them is gone.
AccountStore::~AccountStore() { sqlite3_close_v2(db_); }

bool AccountStore::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    lastError_ = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
}

bool AccountStore::prepareAll() {
    struct Item {
        SqliteStatement& stmt;
        const char* sql;
    };
    const Item items[] = {
        {insertUser_, "INSERT INTO users(name, password_hash, flags) VALUES(?1, ?2, ?3)"},
        {deleteUser_, "DELETE FROM users WHERE name = ?1"},
        {findUser_, "SELECT id, name, password_hash, flags, master_id FROM users WHERE name = ?1"},
        {findId_, "SELECT id FROM users WHERE name = ?1"},
        {findById_, "SELECT name, flags, master_id FROM users WHERE id = ?1"},
        {changeCount_, "SELECT counter FROM account_changes WHERE id = 1"},
        {setHash_, "UPDATE users SET password_hash = ?2 WHERE name = ?1"},
        {setFlags_, "UPDATE users SET flags = ?2 WHERE name = ?1"},
        {insertPair_, "INSERT OR IGNORE INTO partners(low_id, high_id) VALUES(?1, ?2)"},
        {deletePair_, "DELETE FROM partners WHERE low_id = ?1 AND high_id = ?2"},
        {partnersOf_,
         "SELECT high_id FROM partners WHERE low_id = ?1 UNION SELECT low_id FROM partners WHERE high_id = ?1"},
        {setMaster_, "UPDATE users SET master_id = ?2 WHERE id = ?1"},
        {masterOf_, "SELECT master_id FROM users WHERE id = ?1"},
        {listUsers_,
         "SELECT u.name, u.flags, m.name FROM users u LEFT JOIN users m ON m.id = u.master_id ORDER BY u.name"},
        {listPairs_,
         "SELECT a.name, b.name FROM partners p JOIN users a ON a.id = p.low_id JOIN users b ON b.id = p.high_id"},
    };
    for (const Item& item : items) {
        if (!item.stmt.prepare(db_, item.sql)) {
            lastError_ = sqlite3_errmsg(db_);
            return false;
        }
    }
    return true;
}

StoreResult AccountStore::fail(StoreResult result, std::string message) {
    lastError_ = std::move(message);
    return result;
}

StoreResult AccountStore::failSql(const char* what) {
    return fail(StoreResult::Failed, std::string(what) + ": " + sqlite3_errmsg(db_));
}

std::string AccountStore::lastError() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lastError_;
}

StoreResult AccountStore::idOf(std::string_view name, int64_t& id) {
    findId_.bind(1, name);
    bool found = findId_.step();
    if (findId_.failed()) return failSql("reading the users");
    if (found) id = findId_.integer(0);
    findId_.reset();
    return found ? StoreResult::Ok : fail(StoreResult::NotFound, "no user named \"" + std::string(name) + "\"");
}

StoreResult AccountStore::addUser(std::string_view name, std::string_view passwordHash, int flags) {
    std::lock_guard<std::mutex> guard(lock_);
    if (insertUser_.bind(1, name).bind(2, passwordHash).bind(3, static_cast<int64_t>(flags)).run()) {
        return StoreResult::Ok;
    }
    if (insertUser_.lastCode() == SQLITE_CONSTRAINT_UNIQUE) {
        return fail(StoreResult::AlreadyExists, "a user named \"" + std::string(name) + "\" exists already");
    }
    return failSql("adding the user");
}

StoreResult AccountStore::deleteUser(std::string_view name) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!deleteUser_.bind(1, name).run()) return failSql("deleting the user");
    if (sqlite3_changes(db_) == 0) return fail(StoreResult::NotFound, "no user named \"" + std::string(name) + "\"");
    return StoreResult::Ok;
}

StoreResult AccountStore::setPasswordHash(std::string_view name, std::string_view passwordHash) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!setHash_.bind(1, name).bind(2, passwordHash).run()) return failSql("setting the password");
    if (sqlite3_changes(db_) == 0) return fail(StoreResult::NotFound, "no user named \"" + std::string(name) + "\"");
    return StoreResult::Ok;
}

StoreResult AccountStore::setFlags(std::string_view name, int flags) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!setFlags_.bind(1, name).bind(2, static_cast<int64_t>(flags)).run()) return failSql("setting the flags");
    if (sqlite3_changes(db_) == 0) return fail(StoreResult::NotFound, "no user named \"" + std::string(name) + "\"");
    return StoreResult::Ok;
}

StoreResult AccountStore::addPartners(std::string_view first, std::string_view second) {
    std::lock_guard<std::mutex> guard(lock_);
    int64_t a = 0;
    int64_t b = 0;
    if (StoreResult r = idOf(first, a); r != StoreResult::Ok) return r;
    if (StoreResult r = idOf(second, b); r != StoreResult::Ok) return r;
    if (a == b) return fail(StoreResult::Invalid, "a user cannot be his own partner");
    if (!insertPair_.bind(1, std::min(a, b)).bind(2, std::max(a, b)).run()) return failSql("adding the partners");
    if (sqlite3_changes(db_) == 0) {
        return fail(StoreResult::AlreadyExists,
                    "\"" + std::string(first) + "\" and \"" + std::string(second) + "\" are partners already");
    }
    return StoreResult::Ok;
}

StoreResult AccountStore::removePartners(std::string_view first, std::string_view second) {
    std::lock_guard<std::mutex> guard(lock_);
    int64_t a = 0;
    int64_t b = 0;
    if (StoreResult r = idOf(first, a); r != StoreResult::Ok) return r;
    if (StoreResult r = idOf(second, b); r != StoreResult::Ok) return r;
    if (!deletePair_.bind(1, std::min(a, b)).bind(2, std::max(a, b)).run()) return failSql("removing the partners");
    if (sqlite3_changes(db_) == 0) {
        return fail(StoreResult::NotFound,
                    "\"" + std::string(first) + "\" and \"" + std::string(second) + "\" are no partners");
    }
    return StoreResult::Ok;
}

StoreResult AccountStore::setMaster(std::string_view name, std::string_view master) {
    std::lock_guard<std::mutex> guard(lock_);
    int64_t user = 0;
    int64_t masterId = 0;
    if (StoreResult r = idOf(name, user); r != StoreResult::Ok) return r;
    if (StoreResult r = idOf(master, masterId); r != StoreResult::Ok) return r;
    if (user == masterId) return fail(StoreResult::Invalid, "a user cannot be his own master");
    // Walk up from the new master; meeting the user would close a circle.
    int64_t at = masterId;
    for (int steps = 0; at != 0; ++steps) {
        if (at == user || steps > kMaxMasterChain) {
            return fail(StoreResult::Invalid, "\"" + std::string(master) + "\" depends on \"" + std::string(name) +
                                                  "\"; masters must not form a circle");
        }
        masterOf_.bind(1, at);
        bool found = masterOf_.step();
        if (masterOf_.failed()) return failSql("reading the masters");
        at = found && !masterOf_.isNull(0) ? masterOf_.integer(0) : 0;
        masterOf_.reset();
    }
    if (!setMaster_.bind(1, user).bind(2, masterId).run()) return failSql("setting the master");
    return StoreResult::Ok;
}

StoreResult AccountStore::clearMaster(std::string_view name) {
    std::lock_guard<std::mutex> guard(lock_);
    int64_t user = 0;
    if (StoreResult r = idOf(name, user); r != StoreResult::Ok) return r;
    if (!setMaster_.bind(1, user).bindNull(2).run()) return failSql("clearing the master");
    return StoreResult::Ok;
}

StoreResult AccountStore::findUser(std::string_view name, StoredUser& out) {
    std::lock_guard<std::mutex> guard(lock_);
    findUser_.bind(1, name);
    bool found = findUser_.step();
    if (findUser_.failed()) return failSql("reading the users");
    if (found) {
        out.id = findUser_.integer(0);
        out.name = findUser_.text(1);
        out.passwordHash = findUser_.text(2);
        out.flags = static_cast<int>(findUser_.integer(3));
        out.masterId = findUser_.isNull(4) ? 0 : findUser_.integer(4);
    }
    findUser_.reset();
    return found ? StoreResult::Ok : fail(StoreResult::NotFound, "no user named \"" + std::string(name) + "\"");
}

StoreResult AccountStore::partnerIds(int64_t userId, std::vector<int64_t>& out) {
    std::lock_guard<std::mutex> guard(lock_);
    return readPartners(userId, out);
}

StoreResult AccountStore::readChangeCount(int64_t& count) {
    bool found = changeCount_.step();
    if (changeCount_.failed()) {
        StoreResult result = failSql("reading the change count");
        changeCount_.reset();
        return result;
    }
    count = found ? changeCount_.integer(0) : 0;
    changeCount_.reset();
    return StoreResult::Ok;
}

StoreResult AccountStore::readPartners(int64_t userId, std::vector<int64_t>& out) {
    out.clear();
    partnersOf_.bind(1, userId);
    while (partnersOf_.step()) out.push_back(partnersOf_.integer(0));
    if (partnersOf_.failed()) {
        StoreResult result = failSql("reading the partners");
        partnersOf_.reset();
        return result;
    }
    partnersOf_.reset();
    std::sort(out.begin(), out.end());
    return StoreResult::Ok;
}

StoreResult AccountStore::changeCount(int64_t& count) {
    std::lock_guard<std::mutex> guard(lock_);
    return readChangeCount(count);
}

StoreResult AccountStore::readAccounts(const std::vector<int64_t>& ids, std::vector<Account>& found,
                                       int64_t& count) {
    std::lock_guard<std::mutex> guard(lock_);
    found.clear();
    // One read transaction: the accounts and the count of one moment.
    bool ownTransaction = sqlite3_get_autocommit(db_) != 0;
    if (ownTransaction && !exec("BEGIN;")) return fail(StoreResult::Failed, "reading the accounts: " + lastError_);
    StoreResult result = readChangeCount(count);
    for (size_t i = 0; result == StoreResult::Ok && i < ids.size(); ++i) {
        findById_.bind(1, ids[i]);
        bool exists = findById_.step();
        if (findById_.failed()) {
            result = failSql("reading the users");
            break;
        }
        if (!exists) continue;
        Account account;
        account.id = ids[i];
        account.name = findById_.text(0);
        account.flags = static_cast<int>(findById_.integer(1));
        account.masterId = findById_.isNull(2) ? 0 : findById_.integer(2);
        findById_.reset();
        result = readPartners(account.id, account.partnerIds);
        found.push_back(std::move(account));
    }
    findById_.reset();
    if (result != StoreResult::Ok) {
        found.clear();
        if (ownTransaction) {
            std::string error = lastError_;
            exec("ROLLBACK;");
            lastError_ = error;
        }
        return result;
    }
    if (ownTransaction && !exec("COMMIT;")) {
        found.clear();
        return fail(StoreResult::Failed, "reading the accounts: " + lastError_);
    }
    return StoreResult::Ok;
}

StoreResult AccountStore::listUsers(std::vector<UserSummary>& out) {
    std::lock_guard<std::mutex> guard(lock_);
    out.clear();
    std::map<std::string, size_t> index;
    listUsers_.reset();
    while (listUsers_.step()) {
        UserSummary user;
        user.name = listUsers_.text(0);
        user.flags = static_cast<int>(listUsers_.integer(1));
        if (!listUsers_.isNull(2)) user.master = listUsers_.text(2);
        index[user.name] = out.size();
        out.push_back(std::move(user));
    }
    if (listUsers_.failed()) return failSql("listing the users");
    listPairs_.reset();
    while (listPairs_.step()) {
        std::string a = listPairs_.text(0);
        std::string b = listPairs_.text(1);
        auto ia = index.find(a);
        auto ib = index.find(b);
        if (ia != index.end()) out[ia->second].partners.push_back(b);
        if (ib != index.end()) out[ib->second].partners.push_back(a);
    }
    if (listPairs_.failed()) return failSql("listing the partners");
    listPairs_.reset();
    for (UserSummary& user : out) std::sort(user.partners.begin(), user.partners.end());
    return StoreResult::Ok;
}

bool AccountStore::beginBatch() {
    std::lock_guard<std::mutex> guard(lock_);
    return exec("BEGIN IMMEDIATE;");
}

bool AccountStore::commitBatch() {
    std::lock_guard<std::mutex> guard(lock_);
    return exec("COMMIT;");
}

}  // namespace tarvonet
