// The user's registry hive (HKEY_CURRENT_USER) kept in one SQLite file.
// Key names are not case-sensitive; every key has a default value (the empty
// name). Several processes may read and write at once: each write is one
// transaction, so a reader sees the old or the new value, never a mix.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesper::registry {

enum class ValueType : int { String = 1 /* REG_SZ */, Dword = 4 /* REG_DWORD */ };

struct Value {
    ValueType type = ValueType::String;
    std::string text;   // REG_SZ bytes as stored (may hold NULs)
    uint32_t dword = 0; // REG_DWORD
};

// $VESPER_REGISTRY, else ${XDG_CONFIG_HOME:-~/.config}/vesper/registry.sqlite.
std::string hivePath();

// An open key: the normalised path of a key that existed when opened.
struct Key {
    std::string path;
    bool open = false;
};

// Key paths use backslashes; leading, trailing and doubled backslashes are
// ignored, so "\A\B\" names the same key as "A\B".
std::string normalisePath(const std::string& path);

bool openKey(const std::string& path, Key& out);
// Opens the key, creating it and every missing key on the way.
bool createKey(const std::string& path, Key& out);
bool closeKey(Key& key);
bool keyExists(const std::string& path);

std::optional<Value> queryValue(const Key& key, const std::string& name);
bool setString(const Key& key, const std::string& name, const std::string& text);
bool setDword(const Key& key, const std::string& name, uint32_t value);

// Path-based conveniences (open, act, close).
std::optional<Value> queryValue(const std::string& path, const std::string& name);
bool setString(const std::string& path, const std::string& name, const std::string& text);
bool setDword(const std::string& path, const std::string& name, uint32_t value);
bool deleteValue(const std::string& path, const std::string& name);
// Deletes the key with all its subkeys and values.
bool deleteKey(const std::string& path);

std::vector<std::string> subKeys(const std::string& path);
std::vector<std::pair<std::string, Value>> values(const std::string& path);

// A readable dump of a key and everything below it, in the style of a .reg
// export: "[HKEY_CURRENT_USER\path]" then "name"="text" or
// "name"=dword:0000002a lines ("@" for the default value).
std::string exportText(const std::string& path);

// The last failure of this process, for messages ("database is locked", ...).
std::string lastError();

// Whether the hive can be used, and if not, why.
enum class HiveState {
    Usable,     // a hive (or an empty file, which becomes one at the first write)
    Missing,    // not there yet: the first write creates it
    Folder,     // a folder where the file should be
    NotAFile,   // a pipe, a device, a socket
    Unreadable, // no rights, or a path we cannot follow
    NotAHive,   // not a database, or a database of another kind
    Damaged,    // a database that is cut off or whose pages are broken
    Busy,       // another process holds it longer than we wait
};

struct HiveHealth {
    HiveState state = HiveState::Usable;
    std::string path;
    std::string detail; // the system's or SQLite's own words, when there are some
    int waitedMs = 0;   // how long a busy hive was waited for
    bool usable() const { return state == HiveState::Usable || state == HiveState::Missing; }
};

// Looks at the hive without changing it: it must be a file, readable, a
// database with our tables and sound pages, and free for writing within a
// few seconds in all (hiveCheckWaitMs). A verdict that the hive cannot be
// used is kept for this process: from then on every call on that hive fails
// at once, without waiting and without writing, and later checks return the
// verdict as it is unless `recheck` is set. Programs check once when they
// start, before anything else reads the hive, and end when it is unusable.
HiveHealth checkHive(bool recheck = false);
// 5 seconds, or less when VESPER_REGISTRY_BUSY_MS asks every call to wait less.
int hiveCheckWaitMs();
// For the user: which file, what is wrong and what to do (several lines).
// Empty for a usable hive.
std::string hiveProblemText(const HiveHealth& health);
// For command-line programs: true when the hive can be used; else the
// problem goes to standard error after "<program>: ".
bool hiveUsableOrReport(const char* program);

} // namespace vesper::registry
