#pragma once

#include <cstdint>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace olvex::sql {

struct CloseDatabase {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

// One prepared statement, reset after every use.
class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, std::string_view sql);

    explicit operator bool() const { return stmt_ != nullptr; }
    int Prepared() const { return prepareResult_; }

    Statement& Bind(int index, int64_t value);
    Statement& Bind(int index, std::string_view text);
    Statement& BindNull(int index);
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step();
    // Steps to the end and resets: SQLITE_DONE or an error.
    int Run();
    void Reset();

    int64_t Int(int column) const { return sqlite3_column_int64(stmt_.get(), column); }
    std::string Text(int column) const;

private:
    struct Finalize {
        void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
    };
    std::unique_ptr<sqlite3_stmt, Finalize> stmt_;
    int prepareResult_ = SQLITE_MISUSE;
};

// Runs statements that return no rows; SQLITE_OK or the first error.
int Exec(sqlite3* db, const char* sql);

// A single integer, such as a pragma's value; `fallback` when there is none.
int64_t QueryInt(sqlite3* db, const char* sql, int64_t fallback, int* result = nullptr);

} // namespace olvex::sql
