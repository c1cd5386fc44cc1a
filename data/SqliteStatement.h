// One prepared SQLite statement, finalised at the end of its scope: how the logbook asks SQLite
// anything.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace odomei {

// One prepared statement, finalised at the end of its scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    Statement(sqlite3* db, const std::string& sql) : Statement(db, sql.c_str()) {}
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool Ok() const { return m_stmt != nullptr; }
    Statement& Bind(int i, const std::string& text) {
        sqlite3_bind_text(m_stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(int i, std::int64_t n) {
        sqlite3_bind_int64(m_stmt, i, n);
        return *this;
    }
    Statement& BindBlob(int i, const void* data, std::size_t n) {
        sqlite3_bind_blob(m_stmt, i, data, static_cast<int>(n), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& BindNull(int i) {
        sqlite3_bind_null(m_stmt, i);
        return *this;
    }
    int Step() { return sqlite3_step(m_stmt); }
    void Reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    std::string Text(int column) const {
        const auto* p = sqlite3_column_text(m_stmt, column);
        return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p));
    }
    // The same without a copy, valid until the next step.
    std::string_view TextView(int column) const {
        const auto* p = sqlite3_column_text(m_stmt, column);
        return p == nullptr ? std::string_view()
                            : std::string_view(
                                  reinterpret_cast<const char*>(p),
                                  static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)));
    }
    std::int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
    // A blob column's bytes (valid until the next step) and their count.
    const void* Blob(int column) const { return sqlite3_column_blob(m_stmt, column); }
    std::size_t Bytes(int column) const {
        return static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column));
    }
    bool Null(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace odomei
