// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/history/sqlite_db.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <utility>

namespace pingvard {

TSqliteStatement::TSqliteStatement(sqlite3* db, std::string_view sql) noexcept {
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

TSqliteStatement::~TSqliteStatement() {
    sqlite3_finalize(m_stmt);
}

TSqliteStatement::TSqliteStatement(TSqliteStatement&& other) noexcept
    : m_stmt(std::exchange(other.m_stmt, nullptr)) {}

TSqliteStatement& TSqliteStatement::operator=(TSqliteStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

TSqliteStatement& TSqliteStatement::Bind(int index, int64_t value) noexcept {
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
}

TSqliteStatement& TSqliteStatement::Bind(int index, std::optional<int64_t> value) noexcept {
    if (value) {
        sqlite3_bind_int64(m_stmt, index, *value);
    } else {
        sqlite3_bind_null(m_stmt, index);
    }
    return *this;
}

TSqliteStatement& TSqliteStatement::Bind(int index, std::string_view value) noexcept {
    sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

int TSqliteStatement::Step() noexcept {
    if (m_stmt == nullptr) {
        return SQLITE_MISUSE;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc != SQLITE_ROW) {
        Reset();
    }
    return rc;
}

void TSqliteStatement::Reset() noexcept {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int64_t TSqliteStatement::Int(int column) const noexcept {
    return sqlite3_column_int64(m_stmt, column);
}

std::optional<int64_t> TSqliteStatement::OptionalInt(int column) const noexcept {
    if (sqlite3_column_type(m_stmt, column) == SQLITE_NULL) {
        return std::nullopt;
    }
    return sqlite3_column_int64(m_stmt, column);
}

std::string TSqliteStatement::Text(int column) const {
    const auto* text = sqlite3_column_text(m_stmt, column);
    if (text == nullptr) {
        return {};
    }
    return {reinterpret_cast<const char*>(text),
            static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column))};
}

bool TSqliteDb::Open(const std::string& fileName, bool readOnly) noexcept {
    return OpenWith(fileName,
                    readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

bool TSqliteDb::OpenUnchanging(const std::string& fileName) noexcept {
    try {
        // A file: URI, where '?', '#' and '%' of the name must be escaped.
        std::string uri = "file:";
        for (const char c : fileName) {
            if (c == '?' || c == '#' || c == '%') {
                static const char kHex[] = "0123456789ABCDEF";
                const auto byte = static_cast<unsigned char>(c);
                uri += {'%', kHex[byte >> 4], kHex[byte & 15]};
            } else {
                uri += c;
            }
        }
        return OpenWith(uri + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    } catch (...) {
        m_openError = "out of memory";
        return false;
    }
}

bool TSqliteDb::OpenWith(const std::string& name, int flags) noexcept {
    Close();
    flags |= SQLITE_OPEN_NOMUTEX;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        m_openError = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        return false;
    }
    m_db = db;
    m_openError.clear();
    // Another connection (the reader, a second program) may hold a lock for a
    // moment; this thread can afford to wait, the monitor never does.
    sqlite3_busy_timeout(m_db, 2000);
    return true;
}

std::string TSqliteDb::OpenForReading(const std::string& fileName, const char* probe) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        return "no history in " + fileName;
    }
    const bool written = ::stat((fileName + "-wal").c_str(), &st) == 0;
    const bool opened = written ? Open(fileName, true) : OpenUnchanging(fileName);
    if (!opened || !QueryInt(probe)) {
        std::string error = "cannot read " + fileName + ": " + Error();
        Close();
        return error;
    }
    return {};
}

void TSqliteDb::Close() noexcept {
    if (m_db != nullptr) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

bool TSqliteDb::Exec(const char* sql) noexcept {
    return m_db != nullptr && sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

TSqliteStatement TSqliteDb::Prepare(std::string_view sql) noexcept {
    return TSqliteStatement(m_db, sql);
}

std::optional<int64_t> TSqliteDb::QueryInt(const char* sql) noexcept {
    TSqliteStatement stmt = Prepare(sql);
    if (!stmt.Valid() || stmt.Step() != SQLITE_ROW) {
        return std::nullopt;
    }
    const std::optional<int64_t> value = stmt.OptionalInt(0);
    stmt.Reset();
    return value;
}

int TSqliteDb::ErrorCode() const noexcept {
    return m_db != nullptr ? sqlite3_errcode(m_db) : SQLITE_CANTOPEN;
}

std::string TSqliteDb::Error() const {
    return m_db != nullptr ? sqlite3_errmsg(m_db) : m_openError;
}

} // namespace pingvard
