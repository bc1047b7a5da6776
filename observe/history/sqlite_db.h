// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Thin RAII over the SQLite C interface: one connection, prepared statements,
// and the error text of the last failure. Nothing here throws.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace pingvard {

class TSqliteStatement {
public:
    TSqliteStatement() = default;
    TSqliteStatement(sqlite3* db, std::string_view sql) noexcept;
    ~TSqliteStatement();
    TSqliteStatement(TSqliteStatement&& other) noexcept;
    TSqliteStatement& operator=(TSqliteStatement&& other) noexcept;
    TSqliteStatement(const TSqliteStatement&) = delete;
    TSqliteStatement& operator=(const TSqliteStatement&) = delete;

    bool Valid() const noexcept { return m_stmt != nullptr; }
    // Parameters are 1-based, as in SQL.
    TSqliteStatement& Bind(int index, int64_t value) noexcept;
    TSqliteStatement& Bind(int index, std::optional<int64_t> value) noexcept;
    TSqliteStatement& Bind(int index, std::string_view value) noexcept;
    // SQLITE_ROW, SQLITE_DONE or an error code; after DONE or an error the
    // statement is reset and its bindings cleared, ready for the next use.
    int Step() noexcept;
    void Reset() noexcept;

    // Columns are 0-based.
    int64_t Int(int column) const noexcept;
    std::optional<int64_t> OptionalInt(int column) const noexcept;
    std::string Text(int column) const;

private:
    sqlite3_stmt* m_stmt = nullptr;
};

class TSqliteDb {
public:
    TSqliteDb() = default;
    ~TSqliteDb() { Close(); }
    TSqliteDb(const TSqliteDb&) = delete;
    TSqliteDb& operator=(const TSqliteDb&) = delete;

    // False with Error() set when the file cannot be opened (or created).
    bool Open(const std::string& fileName, bool readOnly) noexcept;
    // Read-only, as a file nobody writes: no lock, no -shm or -wal made
    // beside it. Only for a database no connection has open for writing.
    bool OpenUnchanging(const std::string& fileName) noexcept;
    // For a reader beside the program: through the writer's -wal (and its
    // -shm, which the writer owns) while there is one; without one nobody
    // writes, and the file is read as it is, leaving nothing beside it. The
    // probe (a count) must answer. Empty when open, else what went wrong.
    std::string OpenForReading(const std::string& fileName, const char* probe);
    void Close() noexcept;
    bool IsOpen() const noexcept { return m_db != nullptr; }

    // Runs statements without results; false with Error() set on failure.
    bool Exec(const char* sql) noexcept;
    TSqliteStatement Prepare(std::string_view sql) noexcept;
    // Runs a query whose first row's first column is an integer.
    std::optional<int64_t> QueryInt(const char* sql) noexcept;

    int ErrorCode() const noexcept;
    // The library's text for the last failure, e.g. "database or disk is full".
    std::string Error() const;
    sqlite3* Handle() const noexcept { return m_db; }

private:
    bool OpenWith(const std::string& name, int flags) noexcept;

    sqlite3* m_db = nullptr;
    std::string m_openError;
};

} // namespace pingvard
