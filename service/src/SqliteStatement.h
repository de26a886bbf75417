#pragma once
// A prepared SQLite statement, reset after each use. Values are only ever
// bound, never written into the SQL text.
#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tarvonet {

class SqliteStatement {
public:
    SqliteStatement() = default;
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool prepare(sqlite3* db, const char* sql);
    // Binding starts at index 1, as in SQLite.
    SqliteStatement& bind(int index, int64_t value);
    SqliteStatement& bind(int index, std::string_view text);
    SqliteStatement& bindNull(int index);
    // True while a row is available; check failed() afterwards.
    bool step();
    // Steps a statement that returns no rows; true if it completed.
    bool run();
    bool failed() const { return failed_; }
    // SQLite's extended result code of the last step.
    int lastCode() const { return lastCode_; }
    int64_t integer(int column) const;
    std::string text(int column) const;
    bool isNull(int column) const;
    // Clears bindings and rewinds; called by the next bind at index 1 too.
    void reset();

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool failed_ = false;
    bool stepped_ = false;
    int lastCode_ = 0;
};

}  // namespace tarvonet
