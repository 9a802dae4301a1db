// The registry stand-in's store: choosing the SQLite file, setting up a connection and its schema,
// and the statements and transactions the registry functions use.
#include "store.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kBusyTimeoutMs = 30000;
// 1: names as the callers' bytes, compared by SQLite's ASCII-only NOCASE (migrated by
// migrate_names_to_unicode). 2: names as UTF-8 text, compared by their upcased form in fold.
constexpr int kSchemaVersion = 2;

// AUTOINCREMENT: an id is never given twice, so a key id a process remembers names that key or none.
constexpr const char *kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    UNIQUE(parent, fold));
CREATE TABLE IF NOT EXISTS vals(
    key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key, fold));
)sql";

struct ReservedRow {
    ReservedKey id;
    sqlite3_int64 parent;  // 0: a root
    const char *name;
    const char *fold;
};

const ReservedRow kReservedRows[] = {
    {kMachineKey, 0, "HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE"},
    {kUserKey, 0, "HKEY_CURRENT_USER", "HKEY_CURRENT_USER"},
    {kUsersKey, 0, "HKEY_USERS", "HKEY_USERS"},
    {kSoftwareKey, kMachineKey, "SOFTWARE", "SOFTWARE"},
    {kClassesKey, kSoftwareKey, "Classes", "CLASSES"},
    {kSystemKey, kMachineKey, "SYSTEM", "SYSTEM"},
    {kControlSetKey, kSystemKey, "CurrentControlSet", "CURRENTCONTROLSET"},
    {kProfilesKey, kControlSetKey, "Hardware Profiles", "HARDWARE PROFILES"},
    {kCurrentConfigKey, kProfilesKey, "Current", "CURRENT"},
};
static_assert(sizeof kReservedRows / sizeof kReservedRows[0] == kLastReservedKey, "one row per reserved key");

const char *const kStatements[StatementCount] = {
    "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2",
    "INSERT INTO keys(parent, name, fold) VALUES (?1, ?2, ?3)",
    "SELECT 1 FROM keys WHERE id = ?1",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "INSERT INTO vals(key, name, fold, type, data) VALUES (?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2",
    "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    "DELETE FROM keys WHERE id = ?1",
    "WITH RECURSIVE tree(id) AS (VALUES(?1) UNION ALL "
    "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
    "DELETE FROM keys WHERE id IN tree",
    // ?2: the last reserved key id, so the reserved keys below a root stay.
    "WITH RECURSIVE tree(id) AS (SELECT id FROM keys WHERE parent = ?1 UNION ALL "
    "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
    "DELETE FROM keys WHERE id IN tree AND id > ?2",
    "DELETE FROM vals WHERE key = ?1",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY id LIMIT 1 OFFSET ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid LIMIT 1 OFFSET ?2",
    "BEGIN IMMEDIATE",
    "BEGIN",
    "COMMIT",
    "ROLLBACK",
};

}  // namespace

Store::~Store()
{
    for (sqlite3_stmt *statement : statements) sqlite3_finalize(statement);
    sqlite3_close(db);
}

// ---- choosing the store

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

void store_choose_from_environment(Store &store)
{
    if (store.chosen) return;
    store.chosen = true;
    const char *path = getenv("WIN32_STANDIN_REGISTRY");
    const char *admin = getenv("WIN32_STANDIN_REGISTRY_ADMIN");
    store.administrator = admin != nullptr && strcmp(admin, "1") == 0;
    if (path != nullptr && path[0] != '\0') {
        store.path = path;
    } else {
        store.path = default_store_path();
        make_parent_folders(store.path);
    }
}

// ---- setting up a connection

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

static int insert_reserved_keys(sqlite3 *db)
{
    sqlite3_stmt *insert = nullptr;
    const char *sql = "INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES (?1, ?2, ?3, ?4)";
    int rc = sqlite3_prepare_v2(db, sql, -1, &insert, nullptr);
    for (const ReservedRow &row : kReservedRows) {
        if (rc != SQLITE_OK) break;
        sqlite3_reset(insert);
        sqlite3_bind_int64(insert, 1, row.id);
        if (row.parent == 0) {
            sqlite3_bind_null(insert, 2);
        } else {
            sqlite3_bind_int64(insert, 2, row.parent);
        }
        sqlite3_bind_text(insert, 3, row.name, -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 4, row.fold, -1, SQLITE_STATIC);
        rc = sqlite3_step(insert) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
    }
    sqlite3_finalize(insert);
    return rc;
}

// Creates the tables and reserved keys once; the check is repeated under the write lock because
// several processes may open a new store at the same moment.
static int ensure_schema(sqlite3 *db)
{
    if (user_version(db) == kSchemaVersion) return SQLITE_OK;
    int rc = exec(db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) return rc;
    int version = user_version(db);
    if (version > kSchemaVersion) rc = SQLITE_CANTOPEN;  // a later version's store: leave it alone
    if (rc == SQLITE_OK && version != kSchemaVersion) {
        // 1: the earlier tables move aside, the new ones are made, then filled from them.
        if (version == 1) {
            rc = exec(db, "ALTER TABLE vals RENAME TO vals_v1; ALTER TABLE keys RENAME TO keys_v1");
        }
        if (rc == SQLITE_OK) rc = exec(db, kSchema);
        if (rc == SQLITE_OK) rc = insert_reserved_keys(db);
        if (rc == SQLITE_OK && version == 1) rc = migrate_names_to_unicode(db);
        std::string mark = "PRAGMA user_version = " + std::to_string(kSchemaVersion);
        if (rc == SQLITE_OK) rc = exec(db, mark.c_str());
    }
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

bool store_open(Store &store)
{
    if (store.db != nullptr) return true;
    store_choose_from_environment(store);
    sqlite3 *db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(store.path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    bool ready = prepare_connection(db);
    store.db = db;
    for (int i = 0; ready && i < StatementCount; ++i) {
        ready = sqlite3_prepare_v3(db, kStatements[i], -1, SQLITE_PREPARE_PERSISTENT, &store.statements[i],
                                   nullptr) == SQLITE_OK;
    }
    if (!ready) store_close(store);
    return ready;
}

void store_close(Store &store)
{
    for (sqlite3_stmt *&statement : store.statements) {
        sqlite3_finalize(statement);
        statement = nullptr;
    }
    sqlite3_close(store.db);
    store.db = nullptr;
}

// ---- statements and transactions

sqlite3_stmt *store_statement(Store &store, Statement which, sqlite3_int64 key)
{
    sqlite3_stmt *st = store.statements[which];
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (sqlite3_bind_parameter_count(st) >= 1) sqlite3_bind_int64(st, 1, key);
    return st;
}

void store_bind_name(sqlite3_stmt *st, int index, std::string_view name)
{
    // An empty view may carry a null pointer, which SQLite would bind as NULL rather than "".
    sqlite3_bind_text(st, index, name.empty() ? "" : name.data(), (int)name.size(), SQLITE_STATIC);
}

bool store_run(sqlite3_stmt *st)
{
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE;
}

bool store_row(sqlite3_stmt *st)
{
    return sqlite3_step(st) == SQLITE_ROW;
}

bool store_key_exists(Store &store, sqlite3_int64 key)
{
    sqlite3_stmt *st = store_statement(store, KeyExists, key);
    bool found = store_row(st);
    sqlite3_reset(st);
    return found;
}

sqlite3_int64 store_find_child(Store &store, sqlite3_int64 parent, std::string_view folded)
{
    sqlite3_stmt *st = store_statement(store, FindChild, parent);
    store_bind_name(st, 2, folded);
    sqlite3_int64 id = store_row(st) ? sqlite3_column_int64(st, 0) : 0;
    sqlite3_reset(st);
    return id;
}

bool store_begin(Store &store)
{
    return store_run(store.statements[Begin]);
}

LONG store_commit(Store &store, LONG status)
{
    if (store_run(store.statements[Commit])) return status;
    store_run(store.statements[Rollback]);
    return ERROR_REGISTRY_IO_FAILED;
}

LONG store_roll_back(Store &store, LONG status)
{
    store_run(store.statements[Rollback]);
    return status;
}

bool store_begin_read(Store &store)
{
    return store_run(store.statements[BeginRead]);
}

void store_end_read(Store &store)
{
    store_run(store.statements[Commit]);
}
