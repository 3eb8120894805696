#include "sqlite_statement.h"

namespace olvex::sql {

Statement::Statement(sqlite3* db, std::string_view sql) {
    sqlite3_stmt* raw = nullptr;
    prepareResult_ = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                                        SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    stmt_.reset(raw);
}

Statement& Statement::Bind(int index, int64_t value) {
    sqlite3_bind_int64(stmt_.get(), index, value);
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    sqlite3_bind_text64(stmt_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT,
                        SQLITE_UTF8);
    return *this;
}

Statement& Statement::BindNull(int index) {
    sqlite3_bind_null(stmt_.get(), index);
    return *this;
}

int Statement::Step() {
    if (!stmt_)
        return prepareResult_ == SQLITE_OK ? SQLITE_MISUSE : prepareResult_;
    return sqlite3_step(stmt_.get());
}

int Statement::Run() {
    int rc;
    while ((rc = Step()) == SQLITE_ROW) {
    }
    Reset();
    return rc;
}

void Statement::Reset() {
    if (stmt_) {
        sqlite3_reset(stmt_.get());
        sqlite3_clear_bindings(stmt_.get());
    }
}

std::string Statement::Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_.get(), column);
    const int size = sqlite3_column_bytes(stmt_.get(), column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size))
                : std::string();
}

int Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

int64_t QueryInt(sqlite3* db, const char* sql, int64_t fallback, int* result) {
    Statement statement(db, sql);
    int rc = statement.Step();
    int64_t value = fallback;
    if (rc == SQLITE_ROW) {
        value = statement.Int(0);
        rc = SQLITE_OK;
    } else if (rc == SQLITE_DONE) {
        rc = SQLITE_OK;
    }
    if (result)
        *result = rc;
    return value;
}

} // namespace olvex::sql
