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
    kMachineKey = 1,    // HKEY_LOCAL_MACHINE
    kUserKey,           // HKEY_CURRENT_USER
    kUsersKey,          // HKEY_USERS
    kSoftwareKey,       // HKLM\SOFTWARE
    kClassesKey,        // HKLM\SOFTWARE\Classes: HKEY_CLASSES_ROOT
    kSystemKey,         // HKLM\SYSTEM
    kControlSetKey,     // HKLM\SYSTEM\CurrentControlSet
    kProfilesKey,       // ...\CurrentControlSet\Hardware Profiles
    kCurrentConfigKey,  // ...\Hardware Profiles\Current: HKEY_CURRENT_CONFIG
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
    Begin,
    BeginRead,
    Commit,
    Rollback,
    StatementCount,
};

struct Store {
    sqlite3 *db = nullptr;
    sqlite3_stmt *statements[StatementCount] = {};
    bool chosen = false;  // path and administrator settled, by StandinRegUseStore or the environment
    std::string path;
    bool administrator = false;

    Store() = default;
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;
    // Closing the last connection checkpoints the log into the database file and removes it.
    ~Store();
};

// Settles path and administrator from the environment, unless already chosen.
void store_choose_from_environment(Store &store);
// Opens the store once per process (and again after store_close); false when it cannot be used.
bool store_open(Store &store);
void store_close(Store &store);

// A statement of the store, reset, its bindings cleared, and its first parameter bound to key.
sqlite3_stmt *store_statement(Store &store, Statement which, sqlite3_int64 key);
void store_bind_name(sqlite3_stmt *st, int index, std::string_view name);
// Runs a statement that returns no rows; false on any failure.
bool store_run(sqlite3_stmt *st);
// True when the statement yields a row (its columns are readable until the next reset).
bool store_row(sqlite3_stmt *st);

bool store_key_exists(Store &store, sqlite3_int64 key);
// The child key of parent whose name has this folded form (names.h), or 0.
sqlite3_int64 store_find_child(Store &store, sqlite3_int64 parent, std::string_view folded);

// Fills the tables of the current schema from those of a version 1 store (keys_v1, vals_v1, then
// dropped), inside the caller's write transaction. SQLITE_OK or the failure's code.
int migrate_names_to_unicode(sqlite3 *db);

// A write transaction; commit gives status, or ERROR_REGISTRY_IO_FAILED when the commit fails.
bool store_begin(Store &store);
LONG store_commit(Store &store, LONG status);
LONG store_roll_back(Store &store, LONG status);
// A read transaction: one snapshot for several statements.
bool store_begin_read(Store &store);
void store_end_read(Store &store);

#endif
