// The registry stand-in's store: which SQLite file it is, its schema and statements, and the
// transactions the registry functions run. Internal to advapi32; the functions are in registry.cpp.
#ifndef ADVAPI32_STORE_H
#define ADVAPI32_STORE_H

#include <sqlite3.h>
#include <windows.h>

#include <string>
#include <string_view>

// Keys every store holds from its creation, by id; ids up to kLastReservedKey are never deleted.
enum ReservedKey : sqlite3_int64 {
    kMachineKey = 1,   // HKEY_LOCAL_MACHINE
    kUserKey,          // HKEY_CURRENT_USER
    kUsersKey,         // HKEY_USERS
    kSoftwareKey,      // HKLM\SOFTWARE
    kClassesKey,       // HKLM\SOFTWARE\Classes: HKEY_CLASSES_ROOT
    kSystemKey,        // HKLM\SYSTEM
    kControlSetKey,    // HKLM\SYSTEM\CurrentControlSet
    kProfilesKey,      // ...\CurrentControlSet\Hardware Profiles
    kCurrentConfigKey, // ...\Hardware Profiles\Current: HKEY_CURRENT_CONFIG
    kLastReservedKey = kCurrentConfigKey,
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
    KeyDepth,
    Begin,
    BeginRead,
    Commit,
    Rollback,
    StatementCount,
};

// What an operation asks of the store file: a read never creates it.
enum StoreUse { ReadStore, WriteStore };

struct Store {
    sqlite3 *db = nullptr;
    sqlite3_stmt *statements[StatementCount] = {};
    bool chosen = false; // path and administrator settled, by StandinRegUseStore or the environment
    std::string path;
    bool administrator = false;
    bool empty = false;      // db is an empty store in memory, standing for a missing or empty file
    bool reopen = false;     // a failure was met: the next operation starts on a fresh connection
    unsigned opened = 0;     // connections opened so far: a new count is a connection afresh
    int failure = SQLITE_OK; // the operation's first failed step, as an extended result code
    int failureErrno = 0;
    long long waitMs = 0;   // how long one operation may wait for other processes' locks
    long long deadline = 0; // when the operation gives up waiting, in ms of the monotonic clock

    Store() = default;
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;
    // Closing the last connection checkpoints the log into the database file and removes it.
    ~Store();
};

// Settles path and administrator from the environment, unless already chosen.
void store_choose_from_environment(Store &store);
// Starts an operation: its wait bound from now, and the store opened (again after a failure). A
// read of a store file that does not exist sees an empty store and creates nothing. ERROR_SUCCESS,
// or the status of a store that cannot be used (its cause told once on standard error).
LONG store_enter(Store &store, StoreUse use);
void store_close(Store &store);
// The status for the operation's failed step, its cause told on standard error; the connection is
// renewed before the next operation.
LONG store_failure(Store &store);
// True when a step of the operation failed (a read that found nothing is no failure).
bool store_failed(const Store &store);

// A statement of the store, reset, its bindings cleared, and its first parameter bound to key.
sqlite3_stmt *store_statement(Store &store, Statement which, sqlite3_int64 key);
void store_bind_name(sqlite3_stmt *st, int index, std::string_view name);
// Runs a statement that returns no rows; false on any failure.
bool store_run(Store &store, sqlite3_stmt *st);
// True when the statement yields a row (its columns are readable until the next reset).
bool store_row(Store &store, sqlite3_stmt *st);

bool store_key_exists(Store &store, sqlite3_int64 key);
// The child key of parent whose name has this folded form (names.h), or 0.
sqlite3_int64 store_find_child(Store &store, sqlite3_int64 parent, std::string_view folded);

// Fills the tables of the current schema from those of a version 1 store (keys_v1, vals_v1, then
// dropped), inside the caller's write transaction. SQLITE_OK or the failure's code.
int migrate_names_to_unicode(sqlite3 *db);
// How many levels below \REGISTRY the key is, as Windows counts them for its depth limit; 0 when
// the key is gone.
int store_key_depth(Store &store, sqlite3_int64 key);

// A write transaction; commit gives status, or the store's failure when the commit fails.
bool store_begin(Store &store);
LONG store_commit(Store &store, LONG status);
LONG store_roll_back(Store &store, LONG status);
// A read transaction: one snapshot for several statements.
bool store_begin_read(Store &store);
void store_end_read(Store &store);

#endif
