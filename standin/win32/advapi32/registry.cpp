// advapi32 stand-in: the Win32 registry functions over a SQLite store (one database file per store),
// with Windows' status codes. The store's schema and its choice of file are in standin/registry.h.
#include <errno.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <standin/registry.h>

namespace {

// Longest key name component and value name Windows accepts (a component of 256 works there too).
constexpr size_t kMaxKeyComponent = 256;
constexpr size_t kMaxValueName = 16383;
constexpr int kBusyTimeoutMs = 30000;

constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

// Keys every store holds from its creation; ids 1..kReservedKeys are never deleted.
constexpr sqlite3_int64 kReservedKeys = 9;
constexpr const char *kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL COLLATE NOCASE,
    UNIQUE(parent, name));
CREATE TABLE IF NOT EXISTS vals(
    key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key, name));
INSERT OR IGNORE INTO keys(id, parent, name) VALUES
    (1, NULL, 'HKEY_LOCAL_MACHINE'),
    (2, NULL, 'HKEY_CURRENT_USER'),
    (3, NULL, 'HKEY_USERS'),
    (4, 1, 'SOFTWARE'),
    (5, 4, 'Classes'),
    (6, 1, 'SYSTEM'),
    (7, 6, 'CurrentControlSet'),
    (8, 7, 'Hardware Profiles'),
    (9, 8, 'Current');
PRAGMA user_version = 1;
)sql";

struct Root {
    HKEY handle;
    sqlite3_int64 key;
    bool machine;  // write access only for an administrator's store
};

const Root kRoots[] = {
    {HKEY_CLASSES_ROOT, 5, true},  {HKEY_CURRENT_USER, 2, false}, {HKEY_LOCAL_MACHINE, 1, true},
    {HKEY_USERS, 3, true},         {HKEY_CURRENT_CONFIG, 9, true},
};

enum Statement {
    FindChild,
    InsertChild,
    KeyExists,
    HasChild,
    SetValue,
    GetValue,
    DeleteValue,
    DeleteKey,
    DeleteTree,
    DeleteContents,
    DeleteOwnValues,
    EnumKey,
    EnumValue,
    Begin,
    BeginRead,
    Commit,
    Rollback,
    StatementCount,
};

const char *const kStatements[StatementCount] = {
    "SELECT id FROM keys WHERE parent = ?1 AND name = ?2",
    "INSERT INTO keys(parent, name) VALUES (?1, ?2)",
    "SELECT 1 FROM keys WHERE id = ?1",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "INSERT INTO vals(key, name, type, data) VALUES (?1, ?2, ?3, ?4) "
    "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data",
    "SELECT type, data FROM vals WHERE key = ?1 AND name = ?2",
    "DELETE FROM vals WHERE key = ?1 AND name = ?2",
    "DELETE FROM keys WHERE id = ?1",
    "WITH RECURSIVE tree(id) AS (VALUES(?1) UNION ALL "
    "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
    "DELETE FROM keys WHERE id IN tree",
    "WITH RECURSIVE tree(id) AS (SELECT id FROM keys WHERE parent = ?1 UNION ALL "
    "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
    "DELETE FROM keys WHERE id IN tree AND id > 9",
    "DELETE FROM vals WHERE key = ?1",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY id LIMIT 1 OFFSET ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid LIMIT 1 OFFSET ?2",
    "BEGIN IMMEDIATE",
    "BEGIN",
    "COMMIT",
    "ROLLBACK",
};

struct Handle {
    sqlite3_int64 key;
    bool machine;
    REGSAM access;
};

struct State {
    std::mutex lock;
    sqlite3 *db = nullptr;
    sqlite3_stmt *statements[StatementCount] = {};
    bool chosen = false;  // path and administrator settled, by StandinRegUseStore or the environment
    std::string path;
    bool administrator = false;
    // Handle values are never reused, so a closed handle is always told apart from an open one.
    std::unordered_map<uintptr_t, Handle> handles;
    uintptr_t nextHandle = 0x10000;
    std::unordered_map<std::string, LONG> failures;

    // Closing the last connection checkpoints the log into the database file and removes it.
    ~State()
    {
        for (sqlite3_stmt *statement : statements) sqlite3_finalize(statement);
        sqlite3_close(db);
    }
};

State &state()
{
    static State s;
    return s;
}

}  // namespace

// ---- choosing and opening the store

static std::string default_store_path()
{
    const char *xdg = getenv("XDG_DATA_HOME");
    std::string folder;
    if (xdg != nullptr && xdg[0] == '/') {
        folder = xdg;
    } else {
        const char *home = getenv("HOME");
        folder = std::string(home != nullptr ? home : ".") + "/.local/share";
    }
    return folder + "/win32-standin/registry.db";
}

// mkdir -p of the folder holding path.
static void make_parent_folders(const std::string &path)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
}

static void choose_from_environment(State &s)
{
    if (s.chosen) return;
    s.chosen = true;
    const char *path = getenv("WIN32_STANDIN_REGISTRY");
    const char *admin = getenv("WIN32_STANDIN_REGISTRY_ADMIN");
    s.administrator = admin != nullptr && strcmp(admin, "1") == 0;
    if (path != nullptr && path[0] != '\0') {
        s.path = path;
    } else {
        s.path = default_store_path();
        make_parent_folders(s.path);
    }
}

static void close_store(State &s)
{
    for (sqlite3_stmt *&statement : s.statements) {
        sqlite3_finalize(statement);
        statement = nullptr;
    }
    sqlite3_close(s.db);
    s.db = nullptr;
    s.handles.clear();
    s.failures.clear();
}

// SQLITE_OK, or the code of the failure.
static int exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

static int user_version(sqlite3 *db)
{
    sqlite3_stmt *statement = nullptr;
    int version = -1;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        version = sqlite3_column_int(statement, 0);
    }
    sqlite3_finalize(statement);
    return version;
}

// Creates the tables and reserved keys once; the check is repeated under the write lock because
// several processes may open a new store at the same moment.
static int ensure_schema(sqlite3 *db)
{
    if (user_version(db) == 1) return SQLITE_OK;
    int rc = exec(db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) return rc;
    if (user_version(db) != 1) rc = exec(db, kSchema);
    if (rc == SQLITE_OK) rc = exec(db, "COMMIT");
    if (rc != SQLITE_OK) exec(db, "ROLLBACK");
    return rc;
}

// Settles the connection's journal and the schema. Switching a new file to WAL, or meeting another
// process doing so, can report the file busy without waiting, so the whole setup is retried.
static bool prepare_connection(sqlite3 *db)
{
    for (int waited = 0;; waited += 5) {
        // NORMAL in WAL mode: a commit reaches the operating system before the call returns, so a
        // killed process loses nothing it reported written; only a power loss may.
        int rc = exec(db, "PRAGMA journal_mode = WAL");
        if (rc == SQLITE_OK) rc = exec(db, "PRAGMA synchronous = NORMAL");
        if (rc == SQLITE_OK) rc = exec(db, "PRAGMA foreign_keys = ON");
        if (rc == SQLITE_OK) rc = ensure_schema(db);
        if (rc == SQLITE_OK) return true;
        if ((rc & 0xff) != SQLITE_BUSY || waited >= kBusyTimeoutMs) return false;
        usleep(5000);
    }
}

// Opens the store once per process (and again after a change of store).
static bool open_store(State &s)
{
    if (s.db != nullptr) return true;
    choose_from_environment(s);
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(s.path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    bool ready = prepare_connection(db);
    s.db = db;
    for (int i = 0; ready && i < StatementCount; ++i) {
        ready = sqlite3_prepare_v3(db, kStatements[i], -1, SQLITE_PREPARE_PERSISTENT, &s.statements[i],
                                   nullptr) == SQLITE_OK;
    }
    if (!ready) close_store(s);
    return ready;
}

// ---- statements

// A statement of the store, reset and bound to the given key id.
static sqlite3_stmt *statement(State &s, Statement which, sqlite3_int64 key)
{
    sqlite3_stmt *st = s.statements[which];
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (sqlite3_bind_parameter_count(st) >= 1) sqlite3_bind_int64(st, 1, key);
    return st;
}

static void bind_name(sqlite3_stmt *st, int index, std::string_view name)
{
    // An empty view may carry a null pointer, which SQLite would bind as NULL rather than "".
    sqlite3_bind_text(st, index, name.empty() ? "" : name.data(), (int)name.size(), SQLITE_STATIC);
}

// Runs a statement that returns no rows; false on any failure.
static bool run(sqlite3_stmt *st)
{
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE;
}

// True when the statement yields a row (its columns are readable until the next reset).
static bool row(sqlite3_stmt *st)
{
    return sqlite3_step(st) == SQLITE_ROW;
}

static bool key_exists(State &s, sqlite3_int64 key)
{
    sqlite3_stmt *st = statement(s, KeyExists, key);
    bool found = row(st);
    sqlite3_reset(st);
    return found;
}

// The child key of parent with this name (compared case-insensitively), or 0.
static sqlite3_int64 find_child(State &s, sqlite3_int64 parent, std::string_view name)
{
    sqlite3_stmt *st = statement(s, FindChild, parent);
    bind_name(st, 2, name);
    sqlite3_int64 id = row(st) ? sqlite3_column_int64(st, 0) : 0;
    sqlite3_reset(st);
    return id;
}

static bool begin(State &s)
{
    return run(s.statements[Begin]);
}

static LONG commit(State &s, LONG status)
{
    if (run(s.statements[Commit])) return status;
    run(s.statements[Rollback]);
    return ERROR_REGISTRY_IO_FAILED;
}

static LONG roll_back(State &s, LONG status)
{
    run(s.statements[Rollback]);
    return status;
}

// ---- handles and names

static bool take_failure(State &s, const char *function, LONG *status)
{
    if (s.failures.empty()) return false;
    auto found = s.failures.find(function);
    if (found == s.failures.end()) return false;
    *status = found->second;
    s.failures.erase(found);
    return true;
}

// The key a handle stands for: a predefined root or a handle this process opened and has not closed.
static bool resolve(State &s, HKEY hKey, Handle *out)
{
    choose_from_environment(s);
    for (const Root &root : kRoots) {
        if (root.handle == hKey) {
            bool writable = !root.machine || s.administrator;
            *out = Handle{root.key, root.machine, writable ? (REGSAM)KEY_ALL_ACCESS : (REGSAM)KEY_READ};
            return true;
        }
    }
    auto found = s.handles.find((uintptr_t)hKey);
    if (found == s.handles.end()) return false;
    *out = found->second;
    return true;
}

static bool is_root(HKEY hKey)
{
    for (const Root &root : kRoots) {
        if (root.handle == hKey) return true;
    }
    return false;
}

static HKEY new_handle(State &s, const Handle &handle)
{
    uintptr_t value = s.nextHandle;
    s.nextHandle += 0x10;
    s.handles.emplace(value, handle);
    return (HKEY)value;
}

// Write rights on a key of a machine root need an administrator's store.
static bool may_write(const State &s, const Handle &handle)
{
    return !handle.machine || s.administrator;
}

// The components of a subkey path: runs of '\' separate, trailing ones end nothing.
// "a\\b\" -> {a, b}; "" -> {}.
static std::vector<std::string_view> components(std::string_view path)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

static std::string_view value_name(LPCSTR name)
{
    return name != nullptr ? std::string_view(name) : std::string_view();
}

// Copies a name into a caller's buffer of *cch characters (terminator included); on return *cch
// holds the name's length without the terminator.
static LONG copy_name(std::string_view name, LPSTR buffer, LPDWORD cch)
{
    if (buffer == nullptr || cch == nullptr) return ERROR_INVALID_PARAMETER;
    if (*cch <= name.size()) return ERROR_MORE_DATA;
    memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *cch = (DWORD)name.size();
    return ERROR_SUCCESS;
}

// Copies value data into a caller's buffer of *cb bytes; with no buffer only the size is told.
static LONG copy_data(const void *data, size_t size, LPBYTE buffer, LPDWORD cb)
{
    if (buffer != nullptr && cb == nullptr) return ERROR_INVALID_PARAMETER;
    if (cb == nullptr) return ERROR_SUCCESS;
    DWORD room = *cb;
    *cb = (DWORD)size;
    if (buffer == nullptr) return ERROR_SUCCESS;
    if (room < size) return ERROR_MORE_DATA;
    if (size > 0) memcpy(buffer, data, size);
    return ERROR_SUCCESS;
}

// ---- the key walk shared by create and open

// Follows parts from key without writing; stops at the first missing part, whose index it returns
// (parts.size() when all exist). *found is the last key reached.
static size_t follow(State &s, sqlite3_int64 key, const std::vector<std::string_view> &parts,
                     sqlite3_int64 *found)
{
    // One read transaction for the whole walk: one snapshot, and the store's read lock taken once.
    bool reading = parts.size() > 1 && run(s.statements[BeginRead]);
    size_t i = 0;
    for (; i < parts.size(); ++i) {
        sqlite3_int64 child = find_child(s, key, parts[i]);
        if (child == 0) break;
        key = child;
    }
    if (reading) run(s.statements[Commit]);
    *found = key;
    return i;
}

// Creates the missing levels of parts below key in one transaction. Levels made before a level that
// cannot be made stay, as on Windows, which also creates one level at a time.
static LONG create_levels(State &s, sqlite3_int64 key, const std::vector<std::string_view> &parts,
                          sqlite3_int64 *result, DWORD *disposition)
{
    if (!begin(s)) return ERROR_REGISTRY_IO_FAILED;
    if (!key_exists(s, key)) return roll_back(s, ERROR_KEY_DELETED);
    *disposition = REG_OPENED_EXISTING_KEY;
    for (std::string_view part : parts) {
        sqlite3_int64 child = find_child(s, key, part);
        if (child == 0) {
            if (part.size() > kMaxKeyComponent) return commit(s, ERROR_INVALID_PARAMETER);
            sqlite3_stmt *st = statement(s, InsertChild, key);
            bind_name(st, 2, part);
            if (!run(st)) return roll_back(s, ERROR_REGISTRY_IO_FAILED);
            child = sqlite3_last_insert_rowid(s.db);
            *disposition = REG_CREATED_NEW_KEY;
        } else {
            *disposition = REG_OPENED_EXISTING_KEY;
        }
        key = child;
    }
    *result = key;
    return commit(s, ERROR_SUCCESS);
}

static LONG check_view_flags(REGSAM samDesired)
{
    const REGSAM both = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
    return (samDesired & both) == both ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

// ---- the registry functions

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                               PHKEY phkResult, LPDWORD lpdwDisposition)
{
    (void)lpClass;
    (void)dwOptions;
    (void)lpSecurityAttributes;
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (phkResult == nullptr) return ERROR_BADKEY;
    *phkResult = nullptr;
    LONG status;
    if (take_failure(s, "RegCreateKeyExA", &status)) return status;
    Handle parent;
    if (!resolve(s, hKey, &parent)) return ERROR_INVALID_HANDLE;
    std::string_view path = value_name(lpSubKey);
    // "\Software": a leading separator names no key.
    if (!path.empty() && path[0] == '\\') return ERROR_BAD_PATHNAME;
    if (Reserved != 0 || check_view_flags(samDesired) != ERROR_SUCCESS) return ERROR_INVALID_PARAMETER;
    if ((samDesired & kWriteRights) != 0 && !may_write(s, parent)) return ERROR_ACCESS_DENIED;
    if (!open_store(s)) return ERROR_REGISTRY_IO_FAILED;

    std::vector<std::string_view> parts = components(path);
    sqlite3_int64 key;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    size_t reached = follow(s, parent.key, parts, &key);
    if (reached < parts.size()) {
        // A missing first level that is too long: nothing to create before the failure.
        if (reached == 0 && parts[0].size() > kMaxKeyComponent) return ERROR_INVALID_PARAMETER;
        if (!may_write(s, parent)) return ERROR_ACCESS_DENIED;
        status = create_levels(s, parent.key, parts, &key, &disposition);
        if (status != ERROR_SUCCESS) return status;
    } else if (parts.empty() && !key_exists(s, key)) {
        return ERROR_KEY_DELETED;
    }
    *phkResult = new_handle(s, Handle{key, parent.machine, samDesired & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY)});
    if (lpdwDisposition != nullptr) *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    (void)ulOptions;
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    LONG status;
    if (take_failure(s, "RegOpenKeyExA", &status)) return status;
    Handle parent;
    if (!resolve(s, hKey, &parent)) return ERROR_INVALID_HANDLE;
    std::string_view path = value_name(lpSubKey);
    if (check_view_flags(samDesired) != ERROR_SUCCESS) return ERROR_INVALID_PARAMETER;
    if ((samDesired & kWriteRights) != 0 && !may_write(s, parent)) return ERROR_ACCESS_DENIED;
    // "" or NULL below a predefined root: the root itself, not a new handle.
    if (path.empty() && is_root(hKey)) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    // "\CLSID" below HKEY_CLASSES_ROOT: tolerated there only.
    if (!path.empty() && path[0] == '\\') {
        if (hKey != HKEY_CLASSES_ROOT) return ERROR_BAD_PATHNAME;
        path.remove_prefix(1);
    }
    if (!open_store(s)) return ERROR_REGISTRY_IO_FAILED;
    std::vector<std::string_view> parts = components(path);
    sqlite3_int64 key;
    if (follow(s, parent.key, parts, &key) < parts.size() || (parts.empty() && !key_exists(s, key))) {
        return key_exists(s, parent.key) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    }
    *phkResult = new_handle(s, Handle{key, parent.machine, samDesired & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY)});
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                              DWORD cbData)
{
    (void)Reserved;
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    LONG status;
    if (take_failure(s, "RegSetValueExA", &status)) return status;
    Handle key;
    if (!resolve(s, hKey, &key)) return ERROR_INVALID_HANDLE;
    if ((key.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    if (lpData == nullptr && cbData > 0) return ERROR_NOACCESS;
    std::string_view name = value_name(lpValueName);
    if (name.size() > kMaxValueName) return ERROR_INVALID_PARAMETER;
    if (!open_store(s)) return ERROR_REGISTRY_IO_FAILED;

    if (!begin(s)) return ERROR_REGISTRY_IO_FAILED;
    if (!key_exists(s, key.key)) return roll_back(s, ERROR_KEY_DELETED);
    sqlite3_stmt *st = statement(s, SetValue, key.key);
    bind_name(st, 2, name);
    sqlite3_bind_int64(st, 3, dwType);
    // Exactly cbData bytes, whatever the type says (a REG_DWORD of 3 bytes stays 3 bytes).
    if (cbData == 0) {
        sqlite3_bind_zeroblob(st, 4, 0);
    } else {
        sqlite3_bind_blob(st, 4, lpData, (int)cbData, SQLITE_STATIC);
    }
    if (!run(st)) return roll_back(s, ERROR_REGISTRY_IO_FAILED);
    return commit(s, ERROR_SUCCESS);
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    LONG status;
    if (take_failure(s, "RegQueryValueExA", &status)) return status;
    Handle key;
    if (!resolve(s, hKey, &key)) return ERROR_INVALID_HANDLE;
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
    if ((key.access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
    if (!open_store(s)) return ERROR_REGISTRY_IO_FAILED;

    sqlite3_stmt *st = statement(s, GetValue, key.key);
    bind_name(st, 2, value_name(lpValueName));
    if (!row(st)) {
        sqlite3_reset(st);
        return key_exists(s, key.key) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    }
    if (lpType != nullptr) *lpType = (DWORD)sqlite3_column_int64(st, 0);
    status = copy_data(sqlite3_column_blob(st, 1), (size_t)sqlite3_column_bytes(st, 1), lpData, lpcbData);
    sqlite3_reset(st);
    return status;
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    LONG status;
    if (take_failure(s, "RegDeleteValueA", &status)) return status;
    Handle key;
    if (!resolve(s, hKey, &key)) return ERROR_INVALID_HANDLE;
    if ((key.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    if (!open_store(s)) return ERROR_REGISTRY_IO_FAILED;

    if (!begin(s)) return ERROR_REGISTRY_IO_FAILED;
    if (!key_exists(s, key.key)) return roll_back(s, ERROR_KEY_DELETED);
    sqlite3_stmt *st = statement(s, DeleteValue, key.key);
    bind_name(st, 2, value_name(lpValueName));
    if (!run(st)) return roll_back(s, ERROR_REGISTRY_IO_FAILED);
    return commit(s, sqlite3_changes(s.db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
}

// The key lpSubKey names below hKey, for deletion: found, not reserved, and writable.
static LONG key_to_delete(State &s, HKEY hKey, LPCSTR lpSubKey, sqlite3_int64 *key)
{
    Handle parent;
    if (!resolve(s, hKey, &parent)) return ERROR_INVALID_HANDLE;
    std::string_view path = value_name(lpSubKey);
    if (!path.empty() && path[0] == '\\') return ERROR_BAD_PATHNAME;
    if (!open_store(s)) return ERROR_REGISTRY_IO_FAILED;
    std::vector<std::string_view> parts = components(path);
    if (follow(s, parent.key, parts, key) < parts.size()) {
        return key_exists(s, parent.key) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    }
    if (*key <= kReservedKeys || !may_write(s, parent)) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    LONG status;
    if (take_failure(s, "RegDeleteKeyA", &status)) return status;
    if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
    sqlite3_int64 key;
    status = key_to_delete(s, hKey, lpSubKey, &key);
    if (status != ERROR_SUCCESS) return status;

    if (!begin(s)) return ERROR_REGISTRY_IO_FAILED;
    sqlite3_stmt *st = statement(s, HasChild, key);
    bool hasChild = row(st);
    sqlite3_reset(st);
    // A key with subkeys is refused, as Windows does; RegDeleteTreeA removes whole trees.
    if (hasChild) return roll_back(s, ERROR_ACCESS_DENIED);
    if (!run(statement(s, DeleteKey, key))) return roll_back(s, ERROR_REGISTRY_IO_FAILED);
    return commit(s, sqlite3_changes(s.db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
}

LSTATUS WINAPI RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    LONG status;
    if (take_failure(s, "RegDeleteTreeA", &status)) return status;
    bool whole = lpSubKey != nullptr && lpSubKey[0] != '\0';
    sqlite3_int64 key;
    if (whole) {
        status = key_to_delete(s, hKey, lpSubKey, &key);
        if (status != ERROR_SUCCESS) return status;
    } else {
        // NULL: the key's own values and subkeys go, the key stays.
        Handle handle;
        if (!resolve(s, hKey, &handle)) return ERROR_INVALID_HANDLE;
        if (!may_write(s, handle)) return ERROR_ACCESS_DENIED;
        if (!open_store(s)) return ERROR_REGISTRY_IO_FAILED;
        key = handle.key;
    }

    if (!begin(s)) return ERROR_REGISTRY_IO_FAILED;
    if (!key_exists(s, key)) return roll_back(s, ERROR_KEY_DELETED);
    bool done = whole ? run(statement(s, DeleteTree, key))
                      : run(statement(s, DeleteContents, key)) && run(statement(s, DeleteOwnValues, key));
    if (!done) return roll_back(s, ERROR_REGISTRY_IO_FAILED);
    return commit(s, ERROR_SUCCESS);
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    LONG status;
    if (take_failure(s, "RegEnumKeyExA", &status)) return status;
    Handle key;
    if (!resolve(s, hKey, &key)) return ERROR_INVALID_HANDLE;
    if (lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
    if ((key.access & KEY_ENUMERATE_SUB_KEYS) == 0) return ERROR_ACCESS_DENIED;
    if (!open_store(s)) return ERROR_REGISTRY_IO_FAILED;

    sqlite3_stmt *st = statement(s, EnumKey, key.key);
    sqlite3_bind_int64(st, 2, dwIndex);
    if (!row(st)) {
        sqlite3_reset(st);
        return key_exists(s, key.key) ? ERROR_NO_MORE_ITEMS : ERROR_KEY_DELETED;
    }
    std::string_view name((const char *)sqlite3_column_text(st, 0), (size_t)sqlite3_column_bytes(st, 0));
    status = copy_name(name, lpName, lpcchName);
    sqlite3_reset(st);
    if (status != ERROR_SUCCESS) return status;
    if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) lpClass[0] = '\0';
    if (lpcchClass != nullptr) *lpcchClass = 0;
    if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    LONG status;
    if (take_failure(s, "RegEnumValueA", &status)) return status;
    Handle key;
    if (!resolve(s, hKey, &key)) return ERROR_INVALID_HANDLE;
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
    if ((key.access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
    if (!open_store(s)) return ERROR_REGISTRY_IO_FAILED;

    sqlite3_stmt *st = statement(s, EnumValue, key.key);
    sqlite3_bind_int64(st, 2, dwIndex);
    if (!row(st)) {
        sqlite3_reset(st);
        return key_exists(s, key.key) ? ERROR_NO_MORE_ITEMS : ERROR_KEY_DELETED;
    }
    std::string_view name((const char *)sqlite3_column_text(st, 0), (size_t)sqlite3_column_bytes(st, 0));
    status = copy_name(name, lpValueName, lpcchValueName);
    if (status == ERROR_SUCCESS) {
        if (lpType != nullptr) *lpType = (DWORD)sqlite3_column_int64(st, 1);
        status = copy_data(sqlite3_column_blob(st, 2), (size_t)sqlite3_column_bytes(st, 2), lpData, lpcbData);
    }
    sqlite3_reset(st);
    return status;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    LONG status;
    if (take_failure(s, "RegCloseKey", &status)) return status;
    if (is_root(hKey)) return ERROR_SUCCESS;
    return s.handles.erase((uintptr_t)hKey) > 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// ---- control

void StandinRegUseStore(const char *path, BOOL administrator)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    close_store(s);
    s.chosen = path != nullptr;
    if (s.chosen) {
        s.path = path;
        s.administrator = administrator != FALSE;
    }
}

long StandinRegOpenHandles(void)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return (long)s.handles.size();
}

void StandinRegFailNext(const char *function, LONG status)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (function == nullptr) {
        s.failures.clear();
    } else {
        s.failures[function] = status;
    }
}
