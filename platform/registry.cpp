#include "platform/registry.h"

#include "platform/paths.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace vesper::registry {

namespace {

thread_local std::string t_lastError;

// A check's verdict that the hive cannot be used, for the path it was made on.
std::mutex g_verdictMutex;
std::optional<HiveHealth> g_problem;

std::optional<HiveHealth> knownProblem(const std::string& path) {
    std::lock_guard lock(g_verdictMutex);
    if (g_problem && g_problem->path == path) return g_problem;
    return std::nullopt;
}

// "is damaged (database disk image is malformed)", ...
std::string whatIsWrong(const HiveHealth& h) {
    const std::string detail = h.detail.empty() ? std::string() : " (" + h.detail + ")";
    switch (h.state) {
    case HiveState::Usable:
    case HiveState::Missing: return {};
    case HiveState::Folder: return "is a folder, not a file";
    case HiveState::NotAFile: return "is not a regular file" + detail;
    case HiveState::Unreadable: return "cannot be read" + detail;
    case HiveState::NotAHive: return "is not a settings file" + detail;
    case HiveState::Damaged: return "is damaged" + detail;
    case HiveState::Busy:
        return "is held by another program, which did not release it within " +
               std::to_string((h.waitedMs + 999) / 1000) + " seconds";
    }
    return {};
}

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

// One connection for one operation: every call opens and closes the hive, so a
// change made by another process is seen at once and no handle is held.
class Hive {
public:
    explicit Hive(bool forWriting) {
        const std::string path = hivePath();
        // A hive found unusable fails at once: no waiting, and no write into a
        // damaged file.
        if (const auto problem = knownProblem(path)) {
            t_lastError = "the hive " + whatIsWrong(*problem);
            return;
        }
        // The non-throwing forms throughout: a hive in a folder we cannot enter, or
        // behind a link loop, is an unreadable hive, not a reason to abort the caller.
        std::error_code ec;
        const auto status = std::filesystem::status(path, ec);
        if (!forWriting && !std::filesystem::exists(status)) {
            t_lastError = ec && ec != std::errc::no_such_file_or_directory ? "cannot reach the hive: " + ec.message()
                                                                           : "the hive does not exist yet";
            return;
        }
        // SQLite would wait for ever on a pipe.
        if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
            t_lastError = "the hive is not a regular file";
            return;
        }
        if (forWriting) {
            const auto dir = std::filesystem::path(path).parent_path();
            if (!dir.empty()) std::filesystem::create_directories(dir, ec);
        }
        // A reader opens for writing too (never creating): a writer killed in
        // the middle of a transaction leaves a journal behind, and only a
        // connection that may write rolls it back; a read-only one would see
        // no hive at all until the next write. Where the hive cannot be
        // written, SQLite opens it read-only.
        const int flags = forWriting ? (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) : SQLITE_OPEN_READWRITE;
        if (sqlite3_open_v2(path.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
            fail();
            return;
        }
        // How long to wait for another process that holds the hive.
        int busyMs = 10000;
        if (const char* b = std::getenv("VESPER_REGISTRY_BUSY_MS"); b && *b) busyMs = std::atoi(b);
        sqlite3_busy_timeout(m_db, busyMs);
        if (forWriting) {
            // Rollback journal with full sync: the hive is never left half-written.
            if (!exec("PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;") || !exec("BEGIN IMMEDIATE") ||
                !exec("CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, "
                      "name TEXT NOT NULL COLLATE NOCASE, UNIQUE(parent, name));"
                      "CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE, "
                      "type INTEGER NOT NULL, data BLOB, PRIMARY KEY(key, name));")) {
                close();
                return;
            }
            m_inTransaction = true;
        } else {
            // A file that is not a hive (or a corrupt one) fails here.
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(m_db, "SELECT 1 FROM keys LIMIT 1", -1, &st, nullptr) != SQLITE_OK) {
                fail();
                sqlite3_finalize(st);
                close();
                return;
            }
            sqlite3_finalize(st);
        }
        m_ok = true;
    }
    ~Hive() {
        if (m_inTransaction) exec("ROLLBACK");
        close();
    }
    bool ok() const { return m_ok; }

    bool commit() {
        if (!m_inTransaction) return false;
        m_inTransaction = false;
        if (!exec("COMMIT")) {
            exec("ROLLBACK");
            return false;
        }
        return true;
    }

    // The id of the key at `parts`, or -1. Id 0 is the root.
    long long find(const std::vector<std::string>& parts) {
        long long id = 0;
        for (const auto& p : parts) {
            id = child(id, p);
            if (id < 0) return -1;
        }
        return id;
    }

    long long create(const std::vector<std::string>& parts) {
        long long id = 0;
        for (const auto& p : parts) {
            long long c = child(id, p);
            if (c < 0) {
                if (!run("INSERT INTO keys(parent, name) VALUES(?, ?)", [&](sqlite3_stmt* st) {
                        sqlite3_bind_int64(st, 1, id);
                        sqlite3_bind_text(st, 2, p.c_str(), -1, SQLITE_TRANSIENT);
                    }))
                    return -1;
                c = sqlite3_last_insert_rowid(m_db);
            }
            id = c;
        }
        return id;
    }

    long long child(long long parent, const std::string& name) {
        long long result = -1;
        query(
            "SELECT id FROM keys WHERE parent = ? AND name = ?",
            [&](sqlite3_stmt* st) {
                sqlite3_bind_int64(st, 1, parent);
                sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
            },
            [&](sqlite3_stmt* st) { result = sqlite3_column_int64(st, 0); });
        return result;
    }

    bool run(const char* sql, const std::function<void(sqlite3_stmt*)>& bind) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) {
            fail();
            return false;
        }
        bind(st);
        const int rc = sqlite3_step(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
            fail();
            return false;
        }
        return true;
    }

    bool query(const char* sql, const std::function<void(sqlite3_stmt*)>& bind,
               const std::function<void(sqlite3_stmt*)>& row) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) {
            fail();
            return false;
        }
        bind(st);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            row(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) {
            fail();
            return false;
        }
        return true;
    }

private:
    bool exec(const char* sql) {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            fail();
            return false;
        }
        return true;
    }
    void fail() { t_lastError = m_db ? sqlite3_errmsg(m_db) : "cannot open the hive"; }
    void close() {
        if (m_db) sqlite3_close_v2(m_db);
        m_db = nullptr;
    }

    sqlite3* m_db = nullptr;
    bool m_ok = false;
    bool m_inTransaction = false;
};

Value readValue(sqlite3_stmt* st, int typeCol, int dataCol) {
    Value v;
    v.type = static_cast<ValueType>(sqlite3_column_int(st, typeCol));
    const void* blob = sqlite3_column_blob(st, dataCol);
    const int n = sqlite3_column_bytes(st, dataCol);
    if (v.type == ValueType::Dword) {
        v.dword = static_cast<uint32_t>(sqlite3_column_int64(st, dataCol));
    } else if (blob) {
        v.text.assign(static_cast<const char*>(blob), static_cast<size_t>(n));
    }
    return v;
}

bool writeValue(const std::string& path, const std::string& name, ValueType type, const std::string& text,
                uint32_t dword) {
    Hive h(true);
    if (!h.ok()) return false;
    const long long id = h.find(splitPath(path));
    if (id < 0) {
        t_lastError = "the key does not exist";
        return false;
    }
    const bool ok =
        h.run("INSERT OR REPLACE INTO vals(key, name, type, data) VALUES(?, ?, ?, ?)", [&](sqlite3_stmt* st) {
            sqlite3_bind_int64(st, 1, id);
            sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(st, 3, static_cast<int>(type));
            if (type == ValueType::Dword)
                sqlite3_bind_int64(st, 4, dword);
            else
                sqlite3_bind_blob(st, 4, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        });
    return ok && h.commit();
}

std::string escapeExport(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        if (c == '\0') {
            out += "\\0";
            continue;
        }
        out += c;
    }
    return out;
}

} // namespace

std::string hivePath() {
    if (const char* p = std::getenv("VESPER_REGISTRY"); p && *p) return p;
    return userBaseFolder("XDG_CONFIG_HOME", ".config") + "/vesper/registry.sqlite";
}

std::string normalisePath(const std::string& path) {
    std::string out;
    for (const auto& p : splitPath(path)) {
        if (!out.empty()) out += '\\';
        out += p;
    }
    return out;
}

std::string lastError() { return t_lastError; }

namespace {

HiveState stateOf(int rc) {
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return HiveState::Busy;
    case SQLITE_NOTADB: return HiveState::NotAHive;
    case SQLITE_CORRUPT: return HiveState::Damaged;
    default: return HiveState::Unreadable;
    }
}

HiveHealth examineHive(int waitMs) {
    HiveHealth h;
    h.path = hivePath();
    auto verdict = [&h](HiveState state, std::string detail) {
        h.state = state;
        // SQLite's reports span lines; the first says enough.
        h.detail = detail.substr(0, detail.find('\n'));
        return h;
    };
    struct stat st {};
    if (::stat(h.path.c_str(), &st) != 0)
        return errno == ENOENT ? verdict(HiveState::Missing, {}) : verdict(HiveState::Unreadable, std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return verdict(HiveState::Folder, {});
    if (!S_ISREG(st.st_mode)) return verdict(HiveState::NotAFile, {});
    // Missing rights, in the system's words rather than SQLite's vaguer ones.
    const int fd = ::open(h.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return verdict(HiveState::Unreadable, std::strerror(errno));
    ::close(fd);

    // Opened as every reader opens it (see Hive), so that the journal of a
    // writer that died is rolled back here as it would be there.
    sqlite3* db = nullptr;
    struct Closer {
        sqlite3*& db;
        ~Closer() { sqlite3_close_v2(db); }
    } closer{db};
    if (sqlite3_open_v2(h.path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
        return verdict(HiveState::Unreadable, db ? sqlite3_errmsg(db) : "cannot open it");
    sqlite3_busy_timeout(db, waitMs);
    auto exec = [db](const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); };
    // The programs write at start: the hive must be free for a writer, not
    // only for readers. Taking the write lock writes nothing.
    const auto started = std::chrono::steady_clock::now();
    int rc = exec("BEGIN IMMEDIATE");
    // A hive we may only read is still a hive: then it must be free for reading.
    if (rc == SQLITE_READONLY) rc = exec("BEGIN; SELECT count(*) FROM sqlite_master");
    if (rc != SQLITE_OK) {
        h.waitedMs = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
        return verdict(stateOf(rc), sqlite3_errmsg(db));
    }

    // Our two tables, or none yet (an empty file, a hive never written).
    sqlite3_stmt* st2 = nullptr;
    int tables = 0, ours = 0;
    rc = sqlite3_prepare_v2(db,
                            "SELECT count(*), coalesce(sum(lower(name) IN ('keys', 'vals')), 0) FROM sqlite_master "
                            "WHERE type = 'table'",
                            -1, &st2, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(st2)) == SQLITE_ROW) {
        tables = sqlite3_column_int(st2, 0);
        ours = sqlite3_column_int(st2, 1);
        rc = SQLITE_OK;
    }
    sqlite3_finalize(st2);
    if (rc != SQLITE_OK) return verdict(stateOf(rc), sqlite3_errmsg(db));
    if (tables > 0 && ours != 2) return verdict(HiveState::NotAHive, "a database of another kind");

    // Every page read once: a cut-off or damaged file shows here, not in
    // the middle of a later write.
    std::string result;
    rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &st2, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(st2)) == SQLITE_ROW) {
        if (const auto* text = sqlite3_column_text(st2, 0)) result = reinterpret_cast<const char*>(text);
        rc = SQLITE_OK;
    }
    sqlite3_finalize(st2);
    if (rc != SQLITE_OK) return verdict(stateOf(rc), sqlite3_errmsg(db));
    if (result != "ok") return verdict(HiveState::Damaged, result);
    exec("ROLLBACK");
    return h;
}

} // namespace

int hiveCheckWaitMs() {
    int ms = 5000;
    if (const char* b = std::getenv("VESPER_REGISTRY_BUSY_MS"); b && *b) ms = std::clamp(std::atoi(b), 0, ms);
    return ms;
}

HiveHealth checkHive(bool recheck) {
    const std::string path = hivePath();
    if (!recheck)
        if (auto problem = knownProblem(path)) return *problem;
    HiveHealth h = examineHive(hiveCheckWaitMs());
    std::lock_guard lock(g_verdictMutex);
    if (!h.usable())
        g_problem = h;
    else if (g_problem && g_problem->path == path)
        g_problem.reset();
    return h;
}

namespace {

// A path as one shell word.
std::string shellQuoted(const std::string& path) {
    std::string out = "'";
    for (char c : path)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

std::string hiveProblemText(const HiveHealth& h) {
    if (h.usable()) return {};
    const std::string moveAside = "  mv " + shellQuoted(h.path) + " " + shellQuoted(h.path + ".old") + "\n";
    std::string text = "The settings file (registry hive)\n  " + h.path + "\n" + whatIsWrong(h) + ".\n\n";
    switch (h.state) {
    case HiveState::Busy:
        text += "Nothing was changed. Close the program that holds the file (a settings editor, an sqlite3 "
                "shell, a program that hangs) and start again.";
        break;
    case HiveState::Unreadable:
        text += "Nothing was changed. Give your user the right to read and write it, or move it aside, for "
                "example:\n" +
                moveAside + "and start again with new settings.";
        break;
    default:
        text += "Nothing was changed. Move it aside, for example:\n" + moveAside +
                "and start again: the settings start anew and the components are registered again.";
        break;
    }
    return text;
}

bool hiveUsableOrReport(const char* program) {
    const HiveHealth h = checkHive();
    if (h.usable()) return true;
    std::fprintf(stderr, "%s: %s\n", program, hiveProblemText(h).c_str());
    return false;
}

bool openKey(const std::string& path, Key& out) {
    out = Key{};
    if (!keyExists(path)) return false;
    out.path = normalisePath(path);
    out.open = true;
    return true;
}

bool createKey(const std::string& path, Key& out) {
    out = Key{};
    Hive h(true);
    if (!h.ok()) return false;
    if (h.create(splitPath(path)) < 0 || !h.commit()) return false;
    out.path = normalisePath(path);
    out.open = true;
    return true;
}

bool closeKey(Key& key) {
    const bool wasOpen = key.open;
    key = Key{};
    return wasOpen;
}

bool keyExists(const std::string& path) {
    Hive h(false);
    return h.ok() && h.find(splitPath(path)) >= 0;
}

std::optional<Value> queryValue(const Key& key, const std::string& name) {
    if (!key.open) return std::nullopt;
    return queryValue(key.path, name);
}

std::optional<Value> queryValue(const std::string& path, const std::string& name) {
    Hive h(false);
    if (!h.ok()) return std::nullopt;
    const long long id = h.find(splitPath(path));
    if (id < 0) return std::nullopt;
    std::optional<Value> result;
    h.query(
        "SELECT type, data FROM vals WHERE key = ? AND name = ?",
        [&](sqlite3_stmt* st) {
            sqlite3_bind_int64(st, 1, id);
            sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        },
        [&](sqlite3_stmt* st) { result = readValue(st, 0, 1); });
    return result;
}

bool setString(const Key& key, const std::string& name, const std::string& text) {
    return key.open && writeValue(key.path, name, ValueType::String, text, 0);
}

bool setDword(const Key& key, const std::string& name, uint32_t value) {
    return key.open && writeValue(key.path, name, ValueType::Dword, {}, value);
}

bool setString(const std::string& path, const std::string& name, const std::string& text) {
    Key k;
    return createKey(path, k) && writeValue(k.path, name, ValueType::String, text, 0);
}

bool setDword(const std::string& path, const std::string& name, uint32_t value) {
    Key k;
    return createKey(path, k) && writeValue(k.path, name, ValueType::Dword, {}, value);
}

bool deleteValue(const std::string& path, const std::string& name) {
    Hive h(true);
    if (!h.ok()) return false;
    const long long id = h.find(splitPath(path));
    if (id < 0) return false;
    bool found = false;
    h.query(
        "SELECT 1 FROM vals WHERE key = ? AND name = ?",
        [&](sqlite3_stmt* st) {
            sqlite3_bind_int64(st, 1, id);
            sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        },
        [&](sqlite3_stmt*) { found = true; });
    if (!found) return false;
    return h.run("DELETE FROM vals WHERE key = ? AND name = ?", [&](sqlite3_stmt* st) {
        sqlite3_bind_int64(st, 1, id);
        sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    }) && h.commit();
}

bool deleteKey(const std::string& path) {
    const auto parts = splitPath(path);
    if (parts.empty()) return false; // the root itself stays
    Hive h(true);
    if (!h.ok()) return false;
    const long long id = h.find(parts);
    if (id < 0) return false;
    std::vector<long long> pending{id}, all;
    while (!pending.empty()) {
        const long long k = pending.back();
        pending.pop_back();
        all.push_back(k);
        h.query(
            "SELECT id FROM keys WHERE parent = ?", [&](sqlite3_stmt* st) { sqlite3_bind_int64(st, 1, k); },
            [&](sqlite3_stmt* st) { pending.push_back(sqlite3_column_int64(st, 0)); });
    }
    for (long long k : all) {
        auto bind = [&](sqlite3_stmt* st) { sqlite3_bind_int64(st, 1, k); };
        if (!h.run("DELETE FROM vals WHERE key = ?", bind) || !h.run("DELETE FROM keys WHERE id = ?", bind))
            return false;
    }
    return h.commit();
}

std::vector<std::string> subKeys(const std::string& path) {
    std::vector<std::string> out;
    Hive h(false);
    if (!h.ok()) return out;
    const long long id = h.find(splitPath(path));
    if (id < 0) return out;
    h.query(
        "SELECT name FROM keys WHERE parent = ? ORDER BY name",
        [&](sqlite3_stmt* st) { sqlite3_bind_int64(st, 1, id); },
        [&](sqlite3_stmt* st) { out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))); });
    return out;
}

std::vector<std::pair<std::string, Value>> values(const std::string& path) {
    std::vector<std::pair<std::string, Value>> out;
    Hive h(false);
    if (!h.ok()) return out;
    const long long id = h.find(splitPath(path));
    if (id < 0) return out;
    h.query(
        "SELECT name, type, data FROM vals WHERE key = ? ORDER BY name",
        [&](sqlite3_stmt* st) { sqlite3_bind_int64(st, 1, id); },
        [&](sqlite3_stmt* st) {
            out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), readValue(st, 1, 2));
        });
    return out;
}

std::string exportText(const std::string& path) {
    std::string out;
    const std::string norm = normalisePath(path);
    std::function<void(const std::string&)> walk = [&](const std::string& p) {
        out += "[HKEY_CURRENT_USER" + (p.empty() ? std::string() : "\\" + p) + "]\n";
        for (const auto& [name, v] : values(p)) {
            out += name.empty() ? "@" : "\"" + escapeExport(name) + "\"";
            if (v.type == ValueType::Dword) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "=dword:%08x\n", v.dword);
                out += buf;
            } else {
                out += "=\"" + escapeExport(v.text) + "\"\n";
            }
        }
        out += "\n";
        for (const auto& child : subKeys(p))
            walk(p.empty() ? child : p + "\\" + child);
    };
    if (!norm.empty() && !keyExists(norm)) return {};
    walk(norm);
    return out;
}

} // namespace vesper::registry
