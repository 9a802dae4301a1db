// advapi32 stand-in: the Win32 registry functions over the store (store.h), with Windows' status
// codes. Each A and W function is one body over UTF-16 names, converted at the boundary (names.h).
// The choice of store file and the control calls are described in standin/registry.h.
#include <string.h>
#include <windows.h>

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <standin/registry.h>

#include "names.h"
#include "store.h"

namespace {

// Longest key name component and value name Windows accepts, in UTF-16 units (a component of 256
// works there too).
constexpr size_t kMaxKeyComponent = 256;
constexpr size_t kMaxValueName = 16383;
// Deepest key Windows makes, counting from \REGISTRY (HKEY_CURRENT_USER is three levels down).
constexpr int kMaxKeyDepth = 512;
// Entries of the key-id cache before it starts again; a tessaly loop uses one.
constexpr size_t kMaxCachedKeys = 4096;

constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

struct Root {
    HKEY handle;
    sqlite3_int64 key;
    bool machine; // write access only for an administrator's store
};

const Root kRoots[] = {
    {HKEY_CLASSES_ROOT, kClassesKey, true},         {HKEY_CURRENT_USER, kUserKey, false},
    {HKEY_LOCAL_MACHINE, kMachineKey, true},        {HKEY_USERS, kUsersKey, true},
    {HKEY_CURRENT_CONFIG, kCurrentConfigKey, true},
};

// A key or value name as the store keeps it and as it compares it.
struct Name {
    std::string stored;
    std::string folded;
    size_t units;
};

struct Handle {
    sqlite3_int64 key;
    bool machine;
    REGSAM access;
    bool confirmed = true; // false: its key id came from the cache and no transaction has seen it yet
};

// What an unconfirmed handle's create would have made, should its key be gone when first used.
struct Unconfirmed {
    sqlite3_int64 parent;
    std::vector<Name> parts;
    std::string cached; // its entry in the key-id cache
};

struct State {
    std::mutex lock;
    Store store;
    // Handle values are never reused, so a closed handle is always told apart from an open one.
    std::unordered_map<uintptr_t, Handle> handles;
    uintptr_t nextHandle = 0x10000;
    std::unordered_map<std::string, LONG> failures;
    // The keys this process found or made, by parent id and folded path: a create of a key opened
    // before takes its id from here without a transaction, and the handle's first use confirms it
    // inside its own (ids are never given twice and keys never renamed, so an id that still exists
    // still has that path).
    std::unordered_map<std::string, sqlite3_int64> keyIds;
    std::unordered_map<uintptr_t, Unconfirmed> unconfirmed;
    unsigned cachedFrom = 0; // the store connection keyIds were found on (Store::opened)
};

} // namespace

static State &state()
{
    static State s;
    return s;
}

namespace {

// What a registry function needs of the key its handle names before it may touch the store.
struct Needs {
    REGSAM rights; // rights the handle must have been opened with
    bool write;    // write access below the handle's root (refused on machine roots of a user's store)
    bool store = true;
    bool confirm = true;      // false: the function confirms a handle from the cache in its own transaction
    StoreUse use = ReadStore; // a write creates a missing store file, a read does not
};

// One registry function's call: the state's lock is held for all of it.
struct Call {
    State &s = state();
    std::lock_guard<std::mutex> guard{s.lock};
    Handle key{};         // the key the call's handle names, once entered
    uintptr_t handle = 0; // the handle's value when this process opened it
};

} // namespace

// ---- names

static std::u16string units_of(LPCSTR text)
{
    return text != nullptr ? regnames::from_ansi(text) : std::u16string();
}

static std::u16string units_of(LPCWSTR text)
{
    return text != nullptr ? std::u16string(text) : std::u16string();
}

static Name name_of(std::u16string_view units)
{
    return Name{regnames::stored(units), regnames::folded(units), units.size()};
}

// The components of a subkey path: runs of '\' separate, trailing ones end nothing.
// "a\\b\" -> {a, b}; "" -> {}.
static std::vector<Name> components(std::u16string_view path)
{
    std::vector<Name> parts;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos) end = path.size();
        if (end > start) parts.push_back(name_of(path.substr(start, end - start)));
        start = end + 1;
    }
    return parts;
}

// Copies a stored name into a caller's buffer of *cch characters (terminator included), as the A
// functions' bytes or as UTF-16 units; on return *cch holds the name's length without the terminator.
template <class C> static LONG copy_name(std::string_view stored, C *buffer, LPDWORD cch)
{
    if (buffer == nullptr || cch == nullptr) return ERROR_INVALID_PARAMETER;
    std::u16string units = regnames::units(stored);
    if (*cch <= units.size()) return ERROR_MORE_DATA;
    if constexpr (sizeof(C) == 1) {
        std::string bytes = regnames::to_ansi(units);
        memcpy(buffer, bytes.data(), bytes.size());
    } else {
        memcpy(buffer, units.data(), units.size() * sizeof(C));
    }
    buffer[units.size()] = 0;
    *cch = (DWORD)units.size();
    return ERROR_SUCCESS;
}

static std::string_view text_column(sqlite3_stmt *st, int column)
{
    const char *text = (const char *)sqlite3_column_text(st, column);
    return std::string_view(text, (size_t)sqlite3_column_bytes(st, column));
}

// ---- handles

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
static bool resolve(Call &call, HKEY hKey)
{
    State &s = call.s;
    store_choose_from_environment(s.store);
    for (const Root &root : kRoots) {
        if (root.handle == hKey) {
            bool writable = !root.machine || s.store.administrator;
            call.key = Handle{root.key, root.machine, writable ? (REGSAM)KEY_ALL_ACCESS : (REGSAM)KEY_READ};
            return true;
        }
    }
    auto found = s.handles.find((uintptr_t)hKey);
    if (found == s.handles.end()) return false;
    call.key = found->second;
    call.handle = found->first;
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

// status, unless the store failed on the way there (a row not found because the store is locked
// is no missing key).
static LONG unless_failed(Store &store, LONG status)
{
    return store_failed(store) ? store_failure(store) : status;
}

// ---- the key-id cache

static std::string cache_entry(sqlite3_int64 parent, const std::vector<Name> &parts)
{
    std::string entry = std::to_string(parent);
    for (const Name &part : parts) {
        entry += '\\'; // never inside a name
        entry += part.folded;
    }
    return entry;
}

static void remember(State &s, const std::string &entry, sqlite3_int64 key)
{
    if (s.keyIds.size() >= kMaxCachedKeys) s.keyIds.clear();
    s.keyIds[entry] = key;
}

// Inside a write transaction: creates the missing levels of parts below key, one at a time, and
// stops at a level it cannot make, leaving the levels before it (as Windows does).
static LONG make_levels(Store &store, sqlite3_int64 key, const std::vector<Name> &parts,
                        sqlite3_int64 *result, DWORD *disposition)
{
    if (!store_key_exists(store, key)) return unless_failed(store, ERROR_KEY_DELETED);
    int depth = store_key_depth(store, key);
    *disposition = REG_OPENED_EXISTING_KEY;
    for (const Name &part : parts) {
        sqlite3_int64 child = store_find_child(store, key, part.folded);
        ++depth;
        if (store_failed(store)) return store_failure(store);
        if (child == 0) {
            if (part.units > kMaxKeyComponent) return ERROR_INVALID_PARAMETER;
            if (depth > kMaxKeyDepth) return ERROR_FILENAME_EXCED_RANGE;
            sqlite3_stmt *st = store_statement(store, InsertChild, key);
            store_bind_name(st, 2, part.stored);
            store_bind_name(st, 3, part.folded);
            if (!store_run(store, st)) return store_failure(store);
            child = sqlite3_last_insert_rowid(store.db);
            *disposition = REG_CREATED_NEW_KEY;
        } else {
            *disposition = REG_OPENED_EXISTING_KEY;
        }
        key = child;
    }
    *result = key;
    return ERROR_SUCCESS;
}

// Inside a write transaction: settles a handle whose key id came from the cache. The key is still
// there, or it went since (another process deleted it) and is made again as the create would have
// made it. Either way the handle counts as confirmed afterwards.
static LONG confirm_in_transaction(State &s, uintptr_t value, Handle *handle)
{
    auto found = s.unconfirmed.find(value);
    if (found == s.unconfirmed.end()) return ERROR_SUCCESS;
    Unconfirmed pending = std::move(found->second);
    s.unconfirmed.erase(found);
    handle->confirmed = true;
    LONG status = ERROR_SUCCESS;
    if (!store_key_exists(s.store, handle->key)) {
        if (store_failed(s.store)) return store_failure(s.store);
        sqlite3_int64 key = 0;
        DWORD disposition;
        status = ERROR_KEY_DELETED;
        if (may_write(s, *handle)) {
            status = make_levels(s.store, pending.parent, pending.parts, &key, &disposition);
        }
        if (status == ERROR_SUCCESS) {
            remember(s, pending.cached, key);
            handle->key = key;
        }
    }
    s.handles[value] = *handle;
    return status;
}

// The same for functions that only read or touch no key: a read when the key is there, a write
// transaction only to make it again.
static LONG confirm(Call &call)
{
    if (call.key.confirmed) return ERROR_SUCCESS;
    Store &store = call.s.store;
    if (store_key_exists(store, call.key.key)) {
        call.key.confirmed = true;
        call.s.handles[call.handle].confirmed = true;
        call.s.unconfirmed.erase(call.handle);
        return ERROR_SUCCESS;
    }
    if (store_failed(store)) return store_failure(store);
    if (!store_begin(store)) return store_failure(store);
    LONG status = confirm_in_transaction(call.s, call.handle, &call.key);
    return status == ERROR_SUCCESS ? store_commit(store, status) : store_roll_back(store, status);
}

// Inside a deletion's write transaction: every handle still unconfirmed is settled first, so a key
// this process created and now deletes is gone for those handles too; the cache starts again.
static void confirm_all(State &s)
{
    while (!s.unconfirmed.empty()) {
        uintptr_t value = s.unconfirmed.begin()->first;
        Handle handle = s.handles[value];
        confirm_in_transaction(s, value, &handle);
    }
    s.keyIds.clear();
}

// The opening every registry function shares: a scripted failure answered, the handle resolved, the
// function's own argument checks (a callable giving ERROR_SUCCESS or the status to return), the
// access check, the store opened, and a handle from the cache confirmed. ERROR_SUCCESS when the
// function may go on with call.key.
template <class Checks>
static LONG enter(Call &call, const char *function, HKEY hKey, Needs needs, Checks checks)
{
    LONG status;
    if (take_failure(call.s, function, &status)) return status;
    if (!resolve(call, hKey)) return ERROR_INVALID_HANDLE;
    status = checks();
    if (status != ERROR_SUCCESS) return status;
    if ((call.key.access & needs.rights) != needs.rights) return ERROR_ACCESS_DENIED;
    if (needs.write && !may_write(call.s, call.key)) return ERROR_ACCESS_DENIED;
    if (!needs.store) return ERROR_SUCCESS;
    status = store_enter(call.s.store, needs.use);
    if (status != ERROR_SUCCESS) return status;
    // A store opened afresh may be another file than the one the cached key ids came from.
    if (call.s.store.opened != call.s.cachedFrom) {
        call.s.keyIds.clear();
        call.s.cachedFrom = call.s.store.opened;
    }
    return needs.confirm ? confirm(call) : ERROR_SUCCESS;
}

static LONG no_checks() { return ERROR_SUCCESS; }

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
static LONG check_leading_separator(std::u16string_view path)
{
    return !path.empty() && path[0] == u'\\' ? ERROR_BAD_PATHNAME : ERROR_SUCCESS;
}

// What a missing key reports: not found below a parent that exists, deleted when the parent went too.
static LONG missing(Store &store, sqlite3_int64 parent, LONG notFound)
{
    if (store_failed(store)) return store_failure(store);
    return unless_failed(store, store_key_exists(store, parent) ? notFound : ERROR_KEY_DELETED);
}

// ---- the key walk shared by create and open

// Follows parts from key without writing; stops at the first missing part, whose index it returns
// (parts.size() when all exist). *found is the last key reached.
static size_t follow(Store &store, sqlite3_int64 key, const std::vector<Name> &parts, sqlite3_int64 *found)
{
    // One read transaction for the whole walk: one snapshot, and the store's read lock taken once.
    bool reading = parts.size() > 1 && store_begin_read(store);
    size_t i = 0;
    for (; i < parts.size(); ++i) {
        sqlite3_int64 child = store_find_child(store, key, parts[i].folded);
        if (child == 0) break;
        key = child;
    }
    if (reading) store_end_read(store);
    *found = key;
    return i;
}

// Creates the missing levels of parts below key in one transaction.
static LONG create_levels(Store &store, sqlite3_int64 key, const std::vector<Name> &parts,
                          sqlite3_int64 *result, DWORD *disposition)
{
    if (!store_begin(store)) return store_failure(store);
    LONG status = make_levels(store, key, parts, result, disposition);
    // A level too long or too deep: the levels made before it stay.
    bool kept = status == ERROR_INVALID_PARAMETER || status == ERROR_FILENAME_EXCED_RANGE;
    if (status == ERROR_SUCCESS || kept) return store_commit(store, status);
    return store_roll_back(store, status);
}

// ---- the registry functions, each once for its A and W forms

template <class C>
static LONG create_key(const char *function, HKEY hKey, const C *lpSubKey, DWORD Reserved, REGSAM samDesired,
                       PHKEY phkResult, LPDWORD lpdwDisposition)
{
    Call call;
    if (phkResult == nullptr) return ERROR_BADKEY;
    *phkResult = nullptr;
    std::u16string path = units_of(lpSubKey);
    Needs needs{0, (samDesired & kWriteRights) != 0};
    needs.use = WriteStore;
    LONG status = enter(call, function, hKey, needs, [&]() -> LONG {
        if (check_leading_separator(path) != ERROR_SUCCESS) return ERROR_BAD_PATHNAME;
        return Reserved != 0 ? ERROR_INVALID_PARAMETER : check_view_flags(samDesired);
    });
    if (status != ERROR_SUCCESS) return status;

    State &s = call.s;
    Store &store = s.store;
    std::vector<Name> parts = components(path);
    std::string entry = cache_entry(call.key.key, parts);
    // A key this process found before, when the caller does not ask whether it was new: the handle's
    // first use confirms it (one transaction per tessaly call).
    auto cached = s.keyIds.find(entry);
    if (!parts.empty() && lpdwDisposition == nullptr && cached != s.keyIds.end()) {
        HKEY handle = new_handle(s, call.key, cached->second, samDesired);
        s.handles[(uintptr_t)handle].confirmed = false;
        Unconfirmed pending{call.key.key, std::move(parts), std::move(entry)};
        s.unconfirmed.emplace((uintptr_t)handle, std::move(pending));
        *phkResult = handle;
        return ERROR_SUCCESS;
    }

    sqlite3_int64 key;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    size_t reached = follow(store, call.key.key, parts, &key);
    if (store_failed(store)) return store_failure(store);
    if (reached < parts.size()) {
        // A missing first level that is too long: nothing to create before the failure.
        if (reached == 0 && parts[0].units > kMaxKeyComponent) return ERROR_INVALID_PARAMETER;
        if (!may_write(s, call.key)) return ERROR_ACCESS_DENIED;
        status = create_levels(store, call.key.key, parts, &key, &disposition);
        if (status != ERROR_SUCCESS) return status;
    } else if (parts.empty() && !store_key_exists(store, key)) {
        return unless_failed(store, ERROR_KEY_DELETED);
    }
    if (!parts.empty()) remember(s, entry, key);
    *phkResult = new_handle(s, call.key, key, samDesired);
    if (lpdwDisposition != nullptr) *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                               PHKEY phkResult, LPDWORD lpdwDisposition)
{
    (void)lpClass;
    (void)dwOptions;
    (void)lpSecurityAttributes;
    return create_key("RegCreateKeyExA", hKey, lpSubKey, Reserved, samDesired, phkResult, lpdwDisposition);
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                               PHKEY phkResult, LPDWORD lpdwDisposition)
{
    (void)lpClass;
    (void)dwOptions;
    (void)lpSecurityAttributes;
    return create_key("RegCreateKeyExW", hKey, lpSubKey, Reserved, samDesired, phkResult, lpdwDisposition);
}

template <class C>
static LONG open_key(const char *function, HKEY hKey, const C *lpSubKey, REGSAM samDesired, PHKEY phkResult)
{
    Call call;
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::u16string path = units_of(lpSubKey);
    // "" or NULL below a predefined root: the root itself, not a new handle, and no store needed.
    bool root = path.empty() && is_root(hKey);
    LONG status = enter(call, function, hKey, {0, (samDesired & kWriteRights) != 0, !root},
                        [&]() -> LONG { return check_view_flags(samDesired); });
    if (status != ERROR_SUCCESS) return status;
    if (root) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    // "\CLSID" below HKEY_CLASSES_ROOT: tolerated there only.
    std::u16string_view rest = path;
    if (check_leading_separator(rest) != ERROR_SUCCESS) {
        if (hKey != HKEY_CLASSES_ROOT) return ERROR_BAD_PATHNAME;
        rest.remove_prefix(1);
    }

    Store &store = call.s.store;
    std::vector<Name> parts = components(rest);
    sqlite3_int64 key;
    bool found = follow(store, call.key.key, parts, &key) == parts.size();
    if (!found || (parts.empty() && !store_key_exists(store, key))) {
        return missing(store, call.key.key, ERROR_FILE_NOT_FOUND);
    }
    if (!parts.empty()) remember(call.s, cache_entry(call.key.key, parts), key);
    *phkResult = new_handle(call.s, call.key, key, samDesired);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    (void)ulOptions;
    return open_key("RegOpenKeyExA", hKey, lpSubKey, samDesired, phkResult);
}

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    (void)ulOptions;
    return open_key("RegOpenKeyExW", hKey, lpSubKey, samDesired, phkResult);
}

template <class C>
static LONG set_value(const char *function, HKEY hKey, const C *lpValueName, DWORD dwType, const BYTE *lpData,
                      DWORD cbData)
{
    Call call;
    Name name = name_of(units_of(lpValueName));
    Needs needs{KEY_SET_VALUE, false, true, false, WriteStore};
    LONG status = enter(call, function, hKey, needs, [&]() -> LONG {
        if (lpData == nullptr && cbData > 0) return ERROR_NOACCESS;
        return name.units > kMaxValueName ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;

    Store &store = call.s.store;
    if (!store_begin(store)) return store_failure(store);
    if (!call.key.confirmed) {
        status = confirm_in_transaction(call.s, call.handle, &call.key);
        if (status != ERROR_SUCCESS) return store_roll_back(store, status);
    } else if (!store_key_exists(store, call.key.key)) {
        return store_roll_back(store, unless_failed(store, ERROR_KEY_DELETED));
    }
    sqlite3_stmt *st = store_statement(store, SetValue, call.key.key);
    store_bind_name(st, 2, name.stored);
    store_bind_name(st, 3, name.folded);
    sqlite3_bind_int64(st, 4, dwType);
    // Exactly cbData bytes, whatever the type says (a REG_DWORD of 3 bytes stays 3 bytes).
    if (cbData == 0) {
        sqlite3_bind_zeroblob(st, 5, 0);
    } else {
        sqlite3_bind_blob(st, 5, lpData, (int)cbData, SQLITE_STATIC);
    }
    if (!store_run(store, st)) return store_roll_back(store, store_failure(store));
    return store_commit(store, ERROR_SUCCESS);
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                              DWORD cbData)
{
    (void)Reserved;
    return set_value("RegSetValueExA", hKey, lpValueName, dwType, lpData, cbData);
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE *lpData, DWORD cbData)
{
    (void)Reserved;
    return set_value("RegSetValueExW", hKey, lpValueName, dwType, lpData, cbData);
}

template <class C>
static LONG query_value(const char *function, HKEY hKey, const C *lpValueName, LPDWORD lpReserved,
                        LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    Call call;
    LONG status = enter(call, function, hKey, {KEY_QUERY_VALUE, false}, [&]() -> LONG {
        bool bad = lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr);
        return bad ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;

    Store &store = call.s.store;
    Name name = name_of(units_of(lpValueName));
    sqlite3_stmt *st = store_statement(store, GetValue, call.key.key);
    store_bind_name(st, 2, name.folded);
    if (!store_row(store, st)) {
        sqlite3_reset(st);
        return missing(store, call.key.key, ERROR_FILE_NOT_FOUND);
    }
    if (lpType != nullptr) *lpType = (DWORD)sqlite3_column_int64(st, 0);
    status = copy_data(sqlite3_column_blob(st, 1), (size_t)sqlite3_column_bytes(st, 1), lpData, lpcbData);
    sqlite3_reset(st);
    return status;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData)
{
    return query_value("RegQueryValueExA", hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData)
{
    return query_value("RegQueryValueExW", hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
}

template <class C> static LONG delete_value(const char *function, HKEY hKey, const C *lpValueName)
{
    Call call;
    LONG status = enter(call, function, hKey, {KEY_SET_VALUE, false}, no_checks);
    if (status != ERROR_SUCCESS) return status;

    Store &store = call.s.store;
    Name name = name_of(units_of(lpValueName));
    if (!store_begin(store)) return store_failure(store);
    if (!store_key_exists(store, call.key.key)) {
        return store_roll_back(store, unless_failed(store, ERROR_KEY_DELETED));
    }
    sqlite3_stmt *st = store_statement(store, DeleteValue, call.key.key);
    store_bind_name(st, 2, name.folded);
    if (!store_run(store, st)) return store_roll_back(store, store_failure(store));
    return store_commit(store, sqlite3_changes(store.db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    return delete_value("RegDeleteValueA", hKey, lpValueName);
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName)
{
    return delete_value("RegDeleteValueW", hKey, lpValueName);
}

// The key path names below the entered call's key, for deletion: found, not reserved, and writable.
static LONG key_to_delete(Call &call, std::u16string_view path, sqlite3_int64 *key)
{
    std::vector<Name> parts = components(path);
    if (follow(call.s.store, call.key.key, parts, key) < parts.size()) {
        return missing(call.s.store, call.key.key, ERROR_FILE_NOT_FOUND);
    }
    if (*key <= kLastReservedKey || !may_write(call.s, call.key)) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

template <class C> static LONG delete_key(const char *function, HKEY hKey, const C *lpSubKey)
{
    Call call;
    std::u16string path = units_of(lpSubKey);
    LONG status = enter(call, function, hKey, {0, false}, [&]() -> LONG {
        return lpSubKey == nullptr ? ERROR_INVALID_PARAMETER : check_leading_separator(path);
    });
    sqlite3_int64 key;
    if (status == ERROR_SUCCESS) status = key_to_delete(call, path, &key);
    if (status != ERROR_SUCCESS) return status;

    Store &store = call.s.store;
    if (!store_begin(store)) return store_failure(store);
    confirm_all(call.s);
    // A handle's own key, deleted meanwhile (RegDeleteKeyA(handle, "")).
    if (!store_key_exists(store, key)) return store_roll_back(store, ERROR_KEY_DELETED);
    sqlite3_stmt *st = store_statement(store, HasChild, key);
    bool hasChild = store_row(store, st);
    sqlite3_reset(st);
    if (store_failed(store)) return store_roll_back(store, store_failure(store));
    // A key with subkeys is refused, as Windows does; RegDeleteTree removes whole trees.
    if (hasChild) return store_roll_back(store, ERROR_ACCESS_DENIED);
    if (!store_run(store, store_statement(store, DeleteKey, key))) {
        return store_roll_back(store, store_failure(store));
    }
    return store_commit(store, sqlite3_changes(store.db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    return delete_key("RegDeleteKeyA", hKey, lpSubKey);
}

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey)
{
    return delete_key("RegDeleteKeyW", hKey, lpSubKey);
}

template <class C> static LONG delete_tree(const char *function, HKEY hKey, const C *lpSubKey)
{
    Call call;
    std::u16string path = units_of(lpSubKey);
    // NULL or "": the key's own values and subkeys go, the key stays.
    bool whole = !path.empty();
    LONG status =
        enter(call, function, hKey, {0, !whole}, [&]() -> LONG { return check_leading_separator(path); });
    sqlite3_int64 key = call.key.key;
    if (status == ERROR_SUCCESS && whole) status = key_to_delete(call, path, &key);
    if (status != ERROR_SUCCESS) return status;

    Store &store = call.s.store;
    if (!store_begin(store)) return store_failure(store);
    confirm_all(call.s);
    if (!store_key_exists(store, key)) return store_roll_back(store, unless_failed(store, ERROR_KEY_DELETED));
    bool done = false;
    if (whole) {
        done = store_run(store, store_statement(store, DeleteTree, key));
    } else {
        sqlite3_stmt *contents = store_statement(store, DeleteContents, key);
        sqlite3_bind_int64(contents, 2, kLastReservedKey);
        done = store_run(store, contents) && store_run(store, store_statement(store, DeleteOwnValues, key));
    }
    if (!done) return store_roll_back(store, store_failure(store));
    return store_commit(store, ERROR_SUCCESS);
}

LSTATUS WINAPI RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey)
{
    return delete_tree("RegDeleteTreeA", hKey, lpSubKey);
}

LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey)
{
    return delete_tree("RegDeleteTreeW", hKey, lpSubKey);
}

// The row at `index` of an enumeration (EnumKey, EnumValue) of the call's key, with its name copied
// to the caller's buffer; `status` is the copy's. Null, with `status` set, when there is no such row.
// The caller resets the statement.
template <class C>
static sqlite3_stmt *enum_row(Call &call, Statement which, DWORD index, C *name, LPDWORD cchName,
                              LONG &status)
{
    Store &store = call.s.store;
    sqlite3_stmt *st = store_statement(store, which, call.key.key);
    sqlite3_bind_int64(st, 2, index);
    if (!store_row(store, st)) {
        sqlite3_reset(st);
        status = missing(store, call.key.key, ERROR_NO_MORE_ITEMS);
        return nullptr;
    }
    status = copy_name(text_column(st, 0), name, cchName);
    return st;
}

template <class C>
static LONG enum_key(const char *function, HKEY hKey, DWORD dwIndex, C *lpName, LPDWORD lpcchName,
                     LPDWORD lpReserved, C *lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    Call call;
    LONG status = enter(call, function, hKey, {KEY_ENUMERATE_SUB_KEYS, false}, [&]() -> LONG {
        return lpReserved != nullptr ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;

    sqlite3_stmt *st = enum_row(call, EnumKey, dwIndex, lpName, lpcchName, status);
    if (st == nullptr) return status;
    sqlite3_reset(st);
    if (status != ERROR_SUCCESS) return status;
    if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) lpClass[0] = 0;
    if (lpcchClass != nullptr) *lpcchClass = 0;
    if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    return enum_key("RegEnumKeyExA", hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass,
                    lpftLastWriteTime);
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    return enum_key("RegEnumKeyExW", hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass,
                    lpftLastWriteTime);
}

template <class C>
static LONG enum_value(const char *function, HKEY hKey, DWORD dwIndex, C *lpValueName, LPDWORD lpcchValueName,
                       LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    Call call;
    LONG status = enter(call, function, hKey, {KEY_QUERY_VALUE, false}, [&]() -> LONG {
        bool bad = lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr);
        return bad ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;

    sqlite3_stmt *st = enum_row(call, EnumValue, dwIndex, lpValueName, lpcchValueName, status);
    if (st == nullptr) return status;
    if (status == ERROR_SUCCESS) {
        if (lpType != nullptr) *lpType = (DWORD)sqlite3_column_int64(st, 1);
        status = copy_data(sqlite3_column_blob(st, 2), (size_t)sqlite3_column_bytes(st, 2), lpData, lpcbData);
    }
    sqlite3_reset(st);
    return status;
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    return enum_value("RegEnumValueA", hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData,
                      lpcbData);
}

LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    return enum_value("RegEnumValueW", hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData,
                      lpcbData);
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    Call call;
    LONG status;
    if (take_failure(call.s, "RegCloseKey", &status)) return status;
    if (is_root(hKey)) return ERROR_SUCCESS;
    // A handle from the cache that was never used: its create takes effect now, as an operation of
    // its own (its own wait bound, nothing left over from an earlier call's failure).
    bool pending = resolve(call, hKey) && !call.key.confirmed;
    if (pending && store_enter(call.s.store, WriteStore) == ERROR_SUCCESS) confirm(call);
    call.s.unconfirmed.erase((uintptr_t)hKey);
    return call.s.handles.erase((uintptr_t)hKey) > 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// ---- control

// A change of store closes every handle and forgets every scripted failure.
static void change_store(State &s)
{
    store_close(s.store);
    s.handles.clear();
    s.failures.clear();
    s.keyIds.clear();
    s.unconfirmed.clear();
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
