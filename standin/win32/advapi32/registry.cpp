// advapi32 stand-in: the Win32 registry functions over the store (store.h), with Windows' status
// codes. The choice of store file and the control calls are described in standin/registry.h.
#include <string.h>
#include <windows.h>

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <standin/registry.h>

#include "store.h"

namespace {

// Longest key name component and value name Windows accepts (a component of 256 works there too).
constexpr size_t kMaxKeyComponent = 256;
constexpr size_t kMaxValueName = 16383;

constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

struct Root {
    HKEY handle;
    sqlite3_int64 key;
    bool machine;  // write access only for an administrator's store
};

const Root kRoots[] = {
    {HKEY_CLASSES_ROOT, kClassesKey, true}, {HKEY_CURRENT_USER, kUserKey, false},
    {HKEY_LOCAL_MACHINE, kMachineKey, true}, {HKEY_USERS, kUsersKey, true},
    {HKEY_CURRENT_CONFIG, kCurrentConfigKey, true},
};

struct Handle {
    sqlite3_int64 key;
    bool machine;
    REGSAM access;
};

struct State {
    std::mutex lock;
    Store store;
    // Handle values are never reused, so a closed handle is always told apart from an open one.
    std::unordered_map<uintptr_t, Handle> handles;
    uintptr_t nextHandle = 0x10000;
    std::unordered_map<std::string, LONG> failures;
};

State &state()
{
    static State s;
    return s;
}

// What a registry function needs of the key its handle names before it may touch the store.
struct Needs {
    REGSAM rights;  // rights the handle must have been opened with
    bool write;     // write access below the handle's root (refused on machine roots of a user's store)
    bool store = true;
};

// One registry function's call: the state's lock is held for all of it.
struct Call {
    State &s = state();
    std::lock_guard<std::mutex> guard{s.lock};
    Handle key{};  // the key the call's handle names, once entered
};

}  // namespace

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
    store_choose_from_environment(s.store);
    for (const Root &root : kRoots) {
        if (root.handle == hKey) {
            bool writable = !root.machine || s.store.administrator;
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

// A new handle on key, reached from parent, with the rights asked for (the view flags are no rights).
static HKEY new_handle(State &s, const Handle &parent, sqlite3_int64 key, REGSAM samDesired)
{
    uintptr_t value = s.nextHandle;
    s.nextHandle += 0x10;
    s.handles.emplace(value, Handle{key, parent.machine, samDesired & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY)});
    return (HKEY)value;
}

// Write rights on a key of a machine root need an administrator's store.
static bool may_write(const State &s, const Handle &handle)
{
    return !handle.machine || s.store.administrator;
}

// The opening every registry function shares: a scripted failure answered, the handle resolved, the
// function's own argument checks (a callable giving ERROR_SUCCESS or the status to return), the
// access check, and the store opened. ERROR_SUCCESS when the function may go on with call.key.
template <class Checks>
static LONG enter(Call &call, const char *function, HKEY hKey, Needs needs, Checks checks)
{
    LONG status;
    if (take_failure(call.s, function, &status)) return status;
    if (!resolve(call.s, hKey, &call.key)) return ERROR_INVALID_HANDLE;
    status = checks();
    if (status != ERROR_SUCCESS) return status;
    if ((call.key.access & needs.rights) != needs.rights) return ERROR_ACCESS_DENIED;
    if (needs.write && !may_write(call.s, call.key)) return ERROR_ACCESS_DENIED;
    if (needs.store && !store_open(call.s.store)) return ERROR_REGISTRY_IO_FAILED;
    return ERROR_SUCCESS;
}

static LONG no_checks()
{
    return ERROR_SUCCESS;
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

static LONG check_view_flags(REGSAM samDesired)
{
    const REGSAM both = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
    return (samDesired & both) == both ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

// "\Software": a leading separator names no key.
static LONG check_leading_separator(std::string_view path)
{
    return !path.empty() && path[0] == '\\' ? ERROR_BAD_PATHNAME : ERROR_SUCCESS;
}

// What a missing key reports: not found below a parent that exists, deleted when the parent went too.
static LONG missing(Store &store, sqlite3_int64 parent, LONG notFound)
{
    return store_key_exists(store, parent) ? notFound : ERROR_KEY_DELETED;
}

// ---- the key walk shared by create and open

// Follows parts from key without writing; stops at the first missing part, whose index it returns
// (parts.size() when all exist). *found is the last key reached.
static size_t follow(Store &store, sqlite3_int64 key, const std::vector<std::string_view> &parts,
                     sqlite3_int64 *found)
{
    // One read transaction for the whole walk: one snapshot, and the store's read lock taken once.
    bool reading = parts.size() > 1 && store_begin_read(store);
    size_t i = 0;
    for (; i < parts.size(); ++i) {
        sqlite3_int64 child = store_find_child(store, key, parts[i]);
        if (child == 0) break;
        key = child;
    }
    if (reading) store_end_read(store);
    *found = key;
    return i;
}

// Creates the missing levels of parts below key in one transaction. Levels made before a level that
// cannot be made stay, as on Windows, which also creates one level at a time.
static LONG create_levels(Store &store, sqlite3_int64 key, const std::vector<std::string_view> &parts,
                          sqlite3_int64 *result, DWORD *disposition)
{
    if (!store_begin(store)) return ERROR_REGISTRY_IO_FAILED;
    if (!store_key_exists(store, key)) return store_roll_back(store, ERROR_KEY_DELETED);
    *disposition = REG_OPENED_EXISTING_KEY;
    for (std::string_view part : parts) {
        sqlite3_int64 child = store_find_child(store, key, part);
        if (child == 0) {
            if (part.size() > kMaxKeyComponent) return store_commit(store, ERROR_INVALID_PARAMETER);
            sqlite3_stmt *st = store_statement(store, InsertChild, key);
            store_bind_name(st, 2, part);
            if (!store_run(st)) return store_roll_back(store, ERROR_REGISTRY_IO_FAILED);
            child = sqlite3_last_insert_rowid(store.db);
            *disposition = REG_CREATED_NEW_KEY;
        } else {
            *disposition = REG_OPENED_EXISTING_KEY;
        }
        key = child;
    }
    *result = key;
    return store_commit(store, ERROR_SUCCESS);
}

// ---- the registry functions

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                               PHKEY phkResult, LPDWORD lpdwDisposition)
{
    (void)lpClass;
    (void)dwOptions;
    (void)lpSecurityAttributes;
    Call call;
    if (phkResult == nullptr) return ERROR_BADKEY;
    *phkResult = nullptr;
    std::string_view path = value_name(lpSubKey);
    LONG status = enter(call, "RegCreateKeyExA", hKey, {0, (samDesired & kWriteRights) != 0}, [&]() -> LONG {
        if (check_leading_separator(path) != ERROR_SUCCESS) return ERROR_BAD_PATHNAME;
        return Reserved != 0 ? ERROR_INVALID_PARAMETER : check_view_flags(samDesired);
    });
    if (status != ERROR_SUCCESS) return status;

    Store &store = call.s.store;
    std::vector<std::string_view> parts = components(path);
    sqlite3_int64 key;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    size_t reached = follow(store, call.key.key, parts, &key);
    if (reached < parts.size()) {
        // A missing first level that is too long: nothing to create before the failure.
        if (reached == 0 && parts[0].size() > kMaxKeyComponent) return ERROR_INVALID_PARAMETER;
        if (!may_write(call.s, call.key)) return ERROR_ACCESS_DENIED;
        status = create_levels(store, call.key.key, parts, &key, &disposition);
        if (status != ERROR_SUCCESS) return status;
    } else if (parts.empty() && !store_key_exists(store, key)) {
        return ERROR_KEY_DELETED;
    }
    *phkResult = new_handle(call.s, call.key, key, samDesired);
    if (lpdwDisposition != nullptr) *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    (void)ulOptions;
    Call call;
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::string_view path = value_name(lpSubKey);
    // "" or NULL below a predefined root: the root itself, not a new handle, and no store needed.
    bool root = path.empty() && is_root(hKey);
    LONG status = enter(call, "RegOpenKeyExA", hKey, {0, (samDesired & kWriteRights) != 0, !root},
                        [&]() -> LONG { return check_view_flags(samDesired); });
    if (status != ERROR_SUCCESS) return status;
    if (root) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    // "\CLSID" below HKEY_CLASSES_ROOT: tolerated there only.
    if (check_leading_separator(path) != ERROR_SUCCESS) {
        if (hKey != HKEY_CLASSES_ROOT) return ERROR_BAD_PATHNAME;
        path.remove_prefix(1);
    }

    Store &store = call.s.store;
    std::vector<std::string_view> parts = components(path);
    sqlite3_int64 key;
    bool found = follow(store, call.key.key, parts, &key) == parts.size();
    if (!found || (parts.empty() && !store_key_exists(store, key))) {
        return missing(store, call.key.key, ERROR_FILE_NOT_FOUND);
    }
    *phkResult = new_handle(call.s, call.key, key, samDesired);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                              DWORD cbData)
{
    (void)Reserved;
    Call call;
    std::string_view name = value_name(lpValueName);
    LONG status = enter(call, "RegSetValueExA", hKey, {KEY_SET_VALUE, false}, [&]() -> LONG {
        if (lpData == nullptr && cbData > 0) return ERROR_NOACCESS;
        return name.size() > kMaxValueName ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;

    Store &store = call.s.store;
    if (!store_begin(store)) return ERROR_REGISTRY_IO_FAILED;
    if (!store_key_exists(store, call.key.key)) return store_roll_back(store, ERROR_KEY_DELETED);
    sqlite3_stmt *st = store_statement(store, SetValue, call.key.key);
    store_bind_name(st, 2, name);
    sqlite3_bind_int64(st, 3, dwType);
    // Exactly cbData bytes, whatever the type says (a REG_DWORD of 3 bytes stays 3 bytes).
    if (cbData == 0) {
        sqlite3_bind_zeroblob(st, 4, 0);
    } else {
        sqlite3_bind_blob(st, 4, lpData, (int)cbData, SQLITE_STATIC);
    }
    if (!store_run(st)) return store_roll_back(store, ERROR_REGISTRY_IO_FAILED);
    return store_commit(store, ERROR_SUCCESS);
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData)
{
    Call call;
    LONG status = enter(call, "RegQueryValueExA", hKey, {KEY_QUERY_VALUE, false}, [&]() -> LONG {
        bool bad = lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr);
        return bad ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;

    Store &store = call.s.store;
    sqlite3_stmt *st = store_statement(store, GetValue, call.key.key);
    store_bind_name(st, 2, value_name(lpValueName));
    if (!store_row(st)) {
        sqlite3_reset(st);
        return missing(store, call.key.key, ERROR_FILE_NOT_FOUND);
    }
    if (lpType != nullptr) *lpType = (DWORD)sqlite3_column_int64(st, 0);
    status = copy_data(sqlite3_column_blob(st, 1), (size_t)sqlite3_column_bytes(st, 1), lpData, lpcbData);
    sqlite3_reset(st);
    return status;
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    Call call;
    LONG status = enter(call, "RegDeleteValueA", hKey, {KEY_SET_VALUE, false}, no_checks);
    if (status != ERROR_SUCCESS) return status;

    Store &store = call.s.store;
    if (!store_begin(store)) return ERROR_REGISTRY_IO_FAILED;
    if (!store_key_exists(store, call.key.key)) return store_roll_back(store, ERROR_KEY_DELETED);
    sqlite3_stmt *st = store_statement(store, DeleteValue, call.key.key);
    store_bind_name(st, 2, value_name(lpValueName));
    if (!store_run(st)) return store_roll_back(store, ERROR_REGISTRY_IO_FAILED);
    return store_commit(store, sqlite3_changes(store.db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
}

// The key lpSubKey names below the entered call's key, for deletion: found, not reserved, and
// writable.
static LONG key_to_delete(Call &call, LPCSTR lpSubKey, sqlite3_int64 *key)
{
    std::vector<std::string_view> parts = components(value_name(lpSubKey));
    if (follow(call.s.store, call.key.key, parts, key) < parts.size()) {
        return missing(call.s.store, call.key.key, ERROR_FILE_NOT_FOUND);
    }
    if (*key <= kLastReservedKey || !may_write(call.s, call.key)) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    Call call;
    LONG status = enter(call, "RegDeleteKeyA", hKey, {0, false}, [&]() -> LONG {
        return lpSubKey == nullptr ? ERROR_INVALID_PARAMETER : check_leading_separator(lpSubKey);
    });
    sqlite3_int64 key;
    if (status == ERROR_SUCCESS) status = key_to_delete(call, lpSubKey, &key);
    if (status != ERROR_SUCCESS) return status;

    Store &store = call.s.store;
    if (!store_begin(store)) return ERROR_REGISTRY_IO_FAILED;
    sqlite3_stmt *st = store_statement(store, HasChild, key);
    bool hasChild = store_row(st);
    sqlite3_reset(st);
    // A key with subkeys is refused, as Windows does; RegDeleteTreeA removes whole trees.
    if (hasChild) return store_roll_back(store, ERROR_ACCESS_DENIED);
    if (!store_run(store_statement(store, DeleteKey, key))) {
        return store_roll_back(store, ERROR_REGISTRY_IO_FAILED);
    }
    return store_commit(store, sqlite3_changes(store.db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
}

LSTATUS WINAPI RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey)
{
    Call call;
    // NULL or "": the key's own values and subkeys go, the key stays.
    bool whole = lpSubKey != nullptr && lpSubKey[0] != '\0';
    LONG status = enter(call, "RegDeleteTreeA", hKey, {0, !whole},
                        [&]() -> LONG { return check_leading_separator(value_name(lpSubKey)); });
    sqlite3_int64 key = call.key.key;
    if (status == ERROR_SUCCESS && whole) status = key_to_delete(call, lpSubKey, &key);
    if (status != ERROR_SUCCESS) return status;

    Store &store = call.s.store;
    if (!store_begin(store)) return ERROR_REGISTRY_IO_FAILED;
    if (!store_key_exists(store, key)) return store_roll_back(store, ERROR_KEY_DELETED);
    bool done = false;
    if (whole) {
        done = store_run(store_statement(store, DeleteTree, key));
    } else {
        sqlite3_stmt *contents = store_statement(store, DeleteContents, key);
        sqlite3_bind_int64(contents, 2, kLastReservedKey);
        done = store_run(contents) && store_run(store_statement(store, DeleteOwnValues, key));
    }
    if (!done) return store_roll_back(store, ERROR_REGISTRY_IO_FAILED);
    return store_commit(store, ERROR_SUCCESS);
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    Call call;
    LONG status = enter(call, "RegEnumKeyExA", hKey, {KEY_ENUMERATE_SUB_KEYS, false}, [&]() -> LONG {
        return lpReserved != nullptr ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;

    Store &store = call.s.store;
    sqlite3_stmt *st = store_statement(store, EnumKey, call.key.key);
    sqlite3_bind_int64(st, 2, dwIndex);
    if (!store_row(st)) {
        sqlite3_reset(st);
        return missing(store, call.key.key, ERROR_NO_MORE_ITEMS);
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
    Call call;
    LONG status = enter(call, "RegEnumValueA", hKey, {KEY_QUERY_VALUE, false}, [&]() -> LONG {
        bool bad = lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr);
        return bad ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;

    Store &store = call.s.store;
    sqlite3_stmt *st = store_statement(store, EnumValue, call.key.key);
    sqlite3_bind_int64(st, 2, dwIndex);
    if (!store_row(st)) {
        sqlite3_reset(st);
        return missing(store, call.key.key, ERROR_NO_MORE_ITEMS);
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
    Call call;
    LONG status;
    if (take_failure(call.s, "RegCloseKey", &status)) return status;
    if (is_root(hKey)) return ERROR_SUCCESS;
    return call.s.handles.erase((uintptr_t)hKey) > 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// ---- control

// A change of store closes every handle and forgets every scripted failure.
static void change_store(State &s)
{
    store_close(s.store);
    s.handles.clear();
    s.failures.clear();
}

void StandinRegUseStore(const char *path, BOOL administrator)
{
    State &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    change_store(s);
    s.store.chosen = path != nullptr;
    if (s.store.chosen) {
        s.store.path = path;
        s.store.administrator = administrator != FALSE;
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
