#include "SqliteStatement.h"

#include <sqlite3.h>

namespace tarvonet {

SqliteStatement::~SqliteStatement() { sqlite3_finalize(stmt_); }

bool SqliteStatement::prepare(sqlite3* db, const char* sql) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    return sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) == SQLITE_OK;
}

void SqliteStatement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    failed_ = false;
    stepped_ = false;
    lastCode_ = 0;
}

SqliteStatement& SqliteStatement::bind(int index, int64_t value) {
    if (index == 1 || stepped_) reset();
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) failed_ = true;
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::string_view text) {
    if (index == 1 || stepped_) reset();
    if (sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK) {
        failed_ = true;
    }
    return *this;
}

SqliteStatement& SqliteStatement::bindNull(int index) {
    if (index == 1 || stepped_) reset();
    if (sqlite3_bind_null(stmt_, index) != SQLITE_OK) failed_ = true;
    return *this;
}

bool SqliteStatement::step() {
    if (failed_) return false;
    stepped_ = true;
    lastCode_ = sqlite3_step(stmt_);
    if (lastCode_ == SQLITE_ROW) return true;
    if (lastCode_ != SQLITE_DONE) failed_ = true;
    return false;
}

bool SqliteStatement::run() {
    while (step()) {
    }
    bool ok = !failed_;
    sqlite3_reset(stmt_);
    return ok;
}

int64_t SqliteStatement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string SqliteStatement::text(int column) const {
    const unsigned char* data = sqlite3_column_text(stmt_, column);
    int length = sqlite3_column_bytes(stmt_, column);
    if (!data || length <= 0) return {};
    return std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
}

bool SqliteStatement::isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

}  // namespace tarvonet
