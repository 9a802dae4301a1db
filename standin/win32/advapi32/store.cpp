// The registry stand-in's store: choosing the SQLite file, setting up a connection and its schema,
// and the statements and transactions the registry functions use.
#include "store.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// How long one operation, setting up its connection included, waits for other processes' locks.
// WIN32_STANDIN_REGISTRY_WAIT_MS shortens it for tests.
constexpr long long kWaitBoundMs = 30000;
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
    sqlite3_int64 parent; // 0: a root
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
    // The key's root and how many levels below it the key is.
    "WITH RECURSIVE up(id, parent, level) AS (SELECT id, parent, 0 FROM keys WHERE id = ?1 UNION ALL "
    "SELECT keys.id, keys.parent, up.level + 1 FROM keys JOIN up ON keys.id = up.parent) "
    "SELECT id, level FROM up WHERE parent IS NULL",
    "BEGIN IMMEDIATE",
    "BEGIN",
    "COMMIT",
    "ROLLBACK",
};

} // namespace

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
    store.path = path != nullptr && path[0] != '\0' ? path : default_store_path();
}

// ---- setting up a connection

// SQLITE_OK, or the code of the failure.
static int exec(sqlite3 *db, const char *sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

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
    if (version > kSchemaVersion) rc = SQLITE_CANTOPEN; // a later version's store: leave it alone
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

// ---- waiting for other processes

static long long now_ms()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

static long long wait_bound_ms()
{
    const char *text = getenv("WIN32_STANDIN_REGISTRY_WAIT_MS");
    char *end = nullptr;
    long long ms = text != nullptr ? strtoll(text, &end, 10) : -1;
    return end != nullptr && end != text && *end == '\0' && ms >= 0 ? ms : kWaitBoundMs;
}

static bool waited_enough(const Store &store) { return now_ms() >= store.deadline; }

// SQLite's busy handler: retry every few milliseconds until the operation's deadline.
static int keep_waiting(void *context, int)
{
    if (waited_enough(*(Store *)context)) return 0;
    usleep(2000);
    return 1;
}

// ---- telling what went wrong

enum Cause { Busy, MissingFolder, ReadOnly, DiskFull, Damaged, Unusable };

static Cause cause_of(int code, int error)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Busy;
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return ReadOnly;
    case SQLITE_FULL:
        return DiskFull;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return Damaged;
    default:
        break;
    }
    if (error == ENOSPC || error == EDQUOT || error == EFBIG) return DiskFull;
    if (error == EACCES || error == EPERM || error == EROFS) return ReadOnly;
    if (error == ENOENT || error == ENOTDIR) return MissingFolder;
    return Unusable;
}

static std::string folder_of(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// One line on standard error naming the store file and the cause.
static void tell(const Store &store, Cause cause)
{
    std::string line = "advapi32 stand-in: registry store " + store.path + ": ";
    switch (cause) {
    case Busy:
        line += "busy: another process held its lock for over " + std::to_string(store.waitMs) + " ms";
        break;
    case MissingFolder:
        line += "the folder " + folder_of(store.path) + " does not exist";
        break;
    case ReadOnly:
        line += "read-only: it cannot be written";
        break;
    case DiskFull:
        line += "the disk is full";
        break;
    case Damaged:
        line += "damaged: left as it is, and not written";
        break;
    case Unusable:
        line += std::string("cannot be used: ") + sqlite3_errstr(store.failure);
        if (store.failureErrno != 0) line += std::string(" (") + strerror(store.failureErrno) + ")";
        break;
    }
    line += '\n';
    fputs(line.c_str(), stderr);
}

// What Windows would report for the cause.
static LONG status_of(Cause cause)
{
    if (cause == Busy) return ERROR_BUSY;
    if (cause == Damaged) return ERROR_REGISTRY_CORRUPT;
    return ERROR_REGISTRY_IO_FAILED;
}

static void note_failure(Store &store, int code, int error)
{
    if (store.failure != SQLITE_OK) return;
    store.failure = code;
    store.failureErrno = error;
}

// The connection's own account of its last failure, or rc when that is about another step.
static void note_failure(Store &store, sqlite3 *db, int rc)
{
    int code = sqlite3_extended_errcode(db);
    note_failure(store, (code & 0xff) == (rc & 0xff) ? code : rc, sqlite3_system_errno(db));
}

LONG store_failure(Store &store)
{
    if (store.failure == SQLITE_OK) note_failure(store, SQLITE_ERROR, 0);
    Cause cause = cause_of(store.failure, store.failureErrno);
    // A store found damaged is left as it is: not even a checkpoint of the log goes into it.
    if (cause == Damaged && store.db != nullptr) {
        sqlite3_db_config(store.db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    tell(store, cause);
    store.reopen = true;
    return status_of(cause);
}

bool store_failed(const Store &store) { return store.failure != SQLITE_OK; }

// ---- checking a store file before use

static bool exists(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// False for a missing file, and for an empty one without a log: both stand for a store without
// keys, and a read must not make either of them a store.
static bool holds_data(const std::string &path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return false;
    return info.st_size > 0 || (stat((path + "-wal").c_str(), &info) == 0 && info.st_size > 0);
}

// A path as a file: URI's path ("/tmp/a b?.db" -> "/tmp/a%20b%3F.db").
static std::string uri_path(const std::string &path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (isalnum(c) || strchr("/-._~", c) != nullptr) {
            out += (char)c;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

static unsigned be(const unsigned char *bytes, int count)
{
    unsigned value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return value;
}

// The cheap check: a store's header says how many pages of what size it holds, and the file must
// have exactly those bytes. A new, empty file passes. False when anything looks wrong.
static bool header_matches_size(const std::string &path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return true; // nothing to check; opening tells why
    unsigned char header[100];
    struct stat info;
    ssize_t got = fstat(fd, &info) == 0 ? pread(fd, header, sizeof header, 0) : -1;
    close(fd);
    if (got == 0 && info.st_size == 0) return true;
    if (got != (ssize_t)sizeof header || memcmp(header, "SQLite format 3", 16) != 0) return false;
    unsigned pageSize = be(header + 16, 2) == 1 ? 65536 : be(header + 16, 2);
    unsigned pages = be(header + 28, 4);
    // The page count is only kept by writers that also set "valid for" to the change counter.
    bool counted = be(header + 92, 4) == be(header + 24, 4) && pages > 0;
    return counted && (long long)pages * pageSize == (long long)info.st_size;
}

// The full check, on a connection of its own that cannot write: SQLITE_OK for a sound store,
// SQLITE_CORRUPT for a damaged one, or the code that stopped the check.
static int full_check(Store &store)
{
    // Without a log the file is the whole store, and writers add to a log rather than to the file:
    // read it as it is, so the check makes no log or index files of its own.
    bool logged = exists(store.path + "-wal");
    std::string uri = "file:" + uri_path(store.path) + (logged ? "?mode=ro" : "?mode=ro&immutable=1");
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    sqlite3_stmt *check = nullptr;
    if (rc == SQLITE_OK) {
        sqlite3_busy_handler(db, keep_waiting, &store);
        rc = sqlite3_prepare_v2(db, "PRAGMA integrity_check(1)", -1, &check, nullptr);
    }
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(check);
        bool sound = rc == SQLITE_ROW && strcmp((const char *)sqlite3_column_text(check, 0), "ok") == 0;
        if (rc == SQLITE_ROW) rc = sound ? SQLITE_OK : SQLITE_CORRUPT;
    }
    if (rc == SQLITE_CORRUPT) {
        note_failure(store, rc, 0);
    } else if (rc != SQLITE_OK) {
        note_failure(store, db, rc);
    }
    sqlite3_finalize(check);
    sqlite3_close(db);
    return rc;
}

// A -shm or -wal file made while the store was read-only is read-only too, and would keep every
// later connection from writing once the store is writable again: give it the store's mode back.
static void restore_companion_modes(const std::string &path)
{
    // With the effective ids and capabilities, as opening will use them.
    auto writable = [](const std::string &file) {
        return faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0;
    };
    struct stat store;
    if (stat(path.c_str(), &store) != 0 || !writable(path)) return;
    for (const char *suffix : {"-shm", "-wal"}) {
        std::string companion = path + suffix;
        struct stat info;
        if (stat(companion.c_str(), &info) != 0 || writable(companion)) continue;
        if (info.st_uid == geteuid()) chmod(companion.c_str(), store.st_mode & 0666);
    }
}

// ---- setting up a connection

// Settles the connection's journal and the schema. Switching a new file to WAL, or meeting another
// process doing so, can report the file busy without waiting, so the whole setup is retried until
// the operation's deadline.
static int prepare_connection(Store &store, sqlite3 *db)
{
    for (;;) {
        // NORMAL in WAL mode: a commit reaches the operating system before the call returns, so a
        // killed process loses nothing it reported written; only a power loss may.
        int rc = exec(db, "PRAGMA journal_mode = WAL");
        if (rc == SQLITE_OK) rc = exec(db, "PRAGMA synchronous = NORMAL");
        if (rc == SQLITE_OK) rc = exec(db, "PRAGMA foreign_keys = ON");
        if (rc == SQLITE_OK) rc = ensure_schema(db);
        if (rc == SQLITE_OK) return rc;
        if ((rc & 0xff) != SQLITE_BUSY || waited_enough(store)) return rc;
        usleep(2000);
    }
}

static int open_connection(Store &store, const char *path, int flags)
{
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(path, &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        note_failure(store, db, rc);
        sqlite3_close(db);
        return rc;
    }
    sqlite3_busy_handler(db, keep_waiting, &store);
    store.db = db;
    rc = prepare_connection(store, db);
    for (int i = 0; rc == SQLITE_OK && i < StatementCount; ++i) {
        rc = sqlite3_prepare_v3(db, kStatements[i], -1, SQLITE_PREPARE_PERSISTENT, &store.statements[i],
                                nullptr);
    }
    if (rc != SQLITE_OK) {
        note_failure(store, db, rc);
        store_close(store);
    } else {
        ++store.opened;
    }
    return rc;
}

// Opens the store for an operation: once per process, again after a change of store or a failure,
// and when the file a read found missing or empty has data since.
static bool open_store(Store &store, StoreUse use)
{
    bool stale = store.empty && (use == WriteStore || holds_data(store.path));
    if (store.db != nullptr && !store.reopen && !stale) return true;
    store_close(store);
    store.reopen = false;
    store_choose_from_environment(store);
    if (!holds_data(store.path)) {
        if (use == ReadStore) {
            store.empty = true;
            return open_connection(store, ":memory:", SQLITE_OPEN_READWRITE) == SQLITE_OK;
        }
        if (store.path == default_store_path()) make_parent_folders(store.path);
    } else if (!header_matches_size(store.path) && full_check(store) != SQLITE_OK) {
        // Never opened for writing: not even a checkpoint touches a damaged file.
        return false;
    }
    restore_companion_modes(store.path);
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    return open_connection(store, store.path.c_str(), flags) == SQLITE_OK;
}

LONG store_enter(Store &store, StoreUse use)
{
    store.failure = SQLITE_OK;
    store.failureErrno = 0;
    if (store.db == nullptr || store.reopen) store.waitMs = wait_bound_ms();
    store.deadline = now_ms() + store.waitMs;
    if (open_store(store, use)) return ERROR_SUCCESS;
    store.reopen = true;
    return store_failure(store);
}

void store_close(Store &store)
{
    for (sqlite3_stmt *&statement : store.statements) {
        sqlite3_finalize(statement);
        statement = nullptr;
    }
    sqlite3_close(store.db);
    store.db = nullptr;
    store.empty = false;
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

bool store_run(Store &store, sqlite3_stmt *st)
{
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) note_failure(store, store.db, rc);
    sqlite3_reset(st);
    return rc == SQLITE_DONE;
}

bool store_row(Store &store, sqlite3_stmt *st)
{
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) note_failure(store, store.db, rc);
    return rc == SQLITE_ROW;
}

bool store_key_exists(Store &store, sqlite3_int64 key)
{
    sqlite3_stmt *st = store_statement(store, KeyExists, key);
    bool found = store_row(store, st);
    sqlite3_reset(st);
    return found;
}

sqlite3_int64 store_find_child(Store &store, sqlite3_int64 parent, std::string_view folded)
{
    sqlite3_stmt *st = store_statement(store, FindChild, parent);
    store_bind_name(st, 2, folded);
    sqlite3_int64 id = store_row(store, st) ? sqlite3_column_int64(st, 0) : 0;
    sqlite3_reset(st);
    return id;
}

int store_key_depth(Store &store, sqlite3_int64 key)
{
    // Where each root of the store sits in Windows' own tree: \REGISTRY\MACHINE, \REGISTRY\USER and
    // \REGISTRY\USER\<the user's SID>.
    struct RootDepth {
        ReservedKey root;
        int depth;
    };
    static const RootDepth kRootDepths[] = {{kMachineKey, 2}, {kUsersKey, 2}, {kUserKey, 3}};
    sqlite3_stmt *st = store_statement(store, KeyDepth, key);
    int depth = 0;
    if (store_row(store, st)) {
        for (const RootDepth &root : kRootDepths) {
            if (root.root == sqlite3_column_int64(st, 0)) depth = root.depth + sqlite3_column_int(st, 1);
        }
    }
    sqlite3_reset(st);
    return depth;
}

bool store_begin(Store &store) { return store_run(store, store.statements[Begin]); }

LONG store_commit(Store &store, LONG status)
{
    if (store_run(store, store.statements[Commit])) return status;
    status = store_failure(store);
    store_run(store, store.statements[Rollback]);
    return status;
}

LONG store_roll_back(Store &store, LONG status)
{
    store_run(store, store.statements[Rollback]);
    return status;
}

bool store_begin_read(Store &store) { return store_run(store, store.statements[BeginRead]); }

void store_end_read(Store &store) { store_run(store, store.statements[Commit]); }
