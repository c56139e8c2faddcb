// A thin layer over SQLite's C interface for the guide database (inside the
// library only).
#pragma once

#include <QString>

#include <sqlite3.h>

#include <utility>

namespace vesper::listings::detail {

class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, const char* sql) : m_db(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) m_stmt = nullptr;
    }
    Statement(Statement&& o) noexcept : m_db(o.m_db), m_stmt(std::exchange(o.m_stmt, nullptr)) {}
    Statement& operator=(Statement&& o) noexcept {
        std::swap(m_db, o.m_db);
        std::swap(m_stmt, o.m_stmt);
        return *this;
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(m_stmt); }

    bool valid() const { return m_stmt != nullptr; }
    Statement& bind(int i, qint64 v) {
        sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    Statement& bind(int i, const QString& v) {
        const QByteArray u = v.toUtf8();
        sqlite3_bind_text(m_stmt, i, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindNull(int i) {
        sqlite3_bind_null(m_stmt, i);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_MISUSE; }
    // Runs to the end; true when it finished without error.
    bool run() {
        int rc;
        while ((rc = step()) == SQLITE_ROW) {
        }
        return rc == SQLITE_DONE;
    }
    void reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    qint64 integer(int col) const { return sqlite3_column_int64(m_stmt, col); }
    bool isNull(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }
    QString text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
        return p ? QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, col)) : QString();
    }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
};

class Database {
public:
    ~Database() { sqlite3_close(m_db); }
    bool open(const QString& path) {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK)
            return false;
        // Other programs read the guide while an import writes it.
        sqlite3_busy_timeout(m_db, 5000);
        return true;
    }
    sqlite3* handle() const { return m_db; }
    bool exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    Statement prepare(const char* sql) { return Statement(m_db, sql); }
    QString lastError() const { return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("no database"); }

private:
    sqlite3* m_db = nullptr;
};

} // namespace vesper::listings::detail
