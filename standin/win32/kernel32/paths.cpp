// The kernel32 stand-in: Win32 path functions over host folders mapped to drive letters and UNC shares,
// with 8.3 short names derived per folder and a per-folder index for case-insensitive lookups. This file
// holds the exported functions and the control calls; the work is in volumes, folder_index, resolution.
#include "clean_name.h"
#include "kernel32.h"

#include <algorithm>

using namespace k32;

static const size_t npos = wstring::npos;

static thread_local DWORD lastError = ERROR_SUCCESS;

static DWORD fail(DWORD error)
{
    lastError = error;
    return 0;
}

// Length of a name up to its first 0 unit; false when there is none within the Windows limit.
static bool measure(LPCWSTR name, size_t &length)
{
    for (length = 0; length < names::kMaxUnits; ++length)
        if (name[length] == 0) return true;
    return false;
}

// The Win32 result rule: units written without the terminator when the name fits, else the capacity
// needed with it, leaving the buffer untouched.
template <typename Unit, typename Text> static DWORD deliver(const Text &text, Unit *buffer, DWORD capacity)
{
    if (text.size() >= capacity) return DWORD(text.size() + 1);
    if (!buffer) return fail(ERROR_INVALID_PARAMETER);
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return DWORD(text.size());
}

// measure(), noting on the way the offset of the last wildcard unit ('*', '?'; -1 when none).
static bool measureWild(LPCWSTR name, size_t &length, ptrdiff_t &lastWildcard)
{
    lastWildcard = -1;
    for (length = 0; length < names::kMaxUnits; ++length) {
        char16_t unit = name[length];
        if (unit > u'?') continue; // letters, most of a name
        if (unit == 0) return true;
        if (unit == u'*' || unit == u'?') lastWildcard = ptrdiff_t(length);
    }
    return false;
}

// GetLongPathNameW and GetShortPathNameW: the same walk, another form of each component.
static DWORD convertName(LPCWSTR source, LPWSTR destination, DWORD capacity, Form form)
{
    if (!source) return fail(ERROR_INVALID_PARAMETER);
    size_t length = 0;
    ptrdiff_t lastWildcard = -1;
    if (!measureWild(source, length, lastWildcard)) return fail(ERROR_FILENAME_EXCED_RANGE);
    if (length == 0) return fail(ERROR_PATH_NOT_FOUND);
    std::u16string_view s(source, length);
    bool prefixed = length >= 4 && names::isSeparator(s[0]) && names::isSeparator(s[1]) && s[2] == u'?' &&
                    names::isSeparator(s[3]);
    if (!prefixed && length >= MAX_PATH) return fail(ERROR_PATH_NOT_FOUND); // not a long-path-aware process
    auto lock = lockState();
    static Location where; // both kept for their buffers' capacity, used under the lock only
    static wstring out;
    refreshIndexes();
    size_t at = 0;
    bool literal = false;
    DWORD error = startOf(s, where, at, literal);
    if (error == ERROR_SUCCESS && lastWildcard >= (prefixed ? 4 : 0))
        error = ERROR_INVALID_NAME; // "C:\a*", "\\?\C:\a?"; the '?' of "\\?\" is no wildcard
    if (error == ERROR_SUCCESS) {
        out.assign(s.substr(0, at));
        error = walkResuming(s, at, literal, where, form, out);
    }
    if (error != ERROR_SUCCESS) return fail(error);
    return deliver(out, destination, capacity);
}

WINBASEAPI DWORD WINAPI GetLastError(void) { return lastError; }

WINBASEAPI void WINAPI SetLastError(DWORD dwErrCode) { lastError = dwErrCode; }

WINBASEAPI DWORD WINAPI GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer,
                                         LPWSTR *lpFilePart)
{
    if (StandinFullPathHook hook = state().fullHook)
        return hook(lpFileName, nBufferLength, lpBuffer, lpFilePart);
    size_t length = 0;
    if (!lpFileName || lpFileName[0] == 0) return fail(ERROR_INVALID_NAME);
    size_t filePart = npos;
    if (isCleanFullName(lpFileName, names::kMaxUnits, length, filePart)) {
        DWORD written = deliver(std::u16string_view(lpFileName, length), lpBuffer, nBufferLength);
        if (written == length && lpFilePart) *lpFilePart = lpBuffer + filePart;
        return written;
    }
    if (!measure(lpFileName, length)) return fail(ERROR_FILENAME_EXCED_RANGE);
    wstring full;
    DWORD error;
    {
        auto lock = lockState();
        error = names::fullName(lpFileName, length, contextOf(state()), full, filePart);
    }
    if (error != ERROR_SUCCESS) return fail(error);
    DWORD written = deliver(full, lpBuffer, nBufferLength);
    if (written == full.size() && lpFilePart) *lpFilePart = filePart == npos ? nullptr : lpBuffer + filePart;
    return written;
}

WINBASEAPI DWORD WINAPI GetLongPathNameW(LPCWSTR lpszShortPath, LPWSTR lpszLongPath, DWORD cchBuffer)
{
    if (StandinLongPathHook hook = state().longHook) return hook(lpszShortPath, lpszLongPath, cchBuffer);
    return convertName(lpszShortPath, lpszLongPath, cchBuffer, Form::Long);
}

WINBASEAPI DWORD WINAPI GetShortPathNameW(LPCWSTR lpszLongPath, LPWSTR lpszShortPath, DWORD cchBuffer)
{
    return convertName(lpszLongPath, lpszShortPath, cchBuffer, Form::Short);
}

WINBASEAPI DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer)
{
    wstring cwd;
    {
        auto lock = lockState();
        cwd = state().cwd;
    }
    return deliver(cwd, lpBuffer, nBufferLength);
}

WINBASEAPI BOOL WINAPI SetCurrentDirectoryW(LPCWSTR lpPathName)
{
    if (!lpPathName) return fail(ERROR_INVALID_PARAMETER);
    size_t length = 0;
    if (!measure(lpPathName, length)) return fail(ERROR_FILENAME_EXCED_RANGE);
    auto lock = lockState();
    DWORD error = setCurrentLocked(wstring(lpPathName, length));
    return error == ERROR_SUCCESS ? TRUE : fail(error);
}

STANDIN_API BOOL StandinMapDrive(WCHAR letter, const char *hostFolder)
{
    char16_t upper = names::foldUnit(letter);
    if (upper < u'A' || upper > u'Z') return FALSE;
    auto lock = lockState();
    state().drives[upper - u'A'] = hostFolder && *hostFolder ? normalisedFolder(hostFolder) : std::string();
    return TRUE;
}

STANDIN_API BOOL StandinMapShare(LPCWSTR uncRoot, const char *hostFolder)
{
    size_t length = 0;
    wstring server, share;
    if (!uncRoot || !measure(uncRoot, length) || !splitShare(wstring(uncRoot, length), server, share))
        return FALSE;
    auto lock = lockState();
    mapShareLocked(server, share, hostFolder);
    return TRUE;
}

STANDIN_API BOOL StandinSetDriveDirectory(WCHAR letter, LPCWSTR directory)
{
    char16_t upper = names::foldUnit(letter);
    if (upper < u'A' || upper > u'Z') return FALSE;
    auto lock = lockState();
    State &st = state();
    if (!directory) {
        st.driveDirs[upper - u'A'].clear();
        return TRUE;
    }
    size_t length = 0;
    wstring full;
    size_t filePart = 0;
    if (!measure(directory, length) ||
        names::fullName(directory, length, contextOf(st), full, filePart) != ERROR_SUCCESS ||
        names::driveOf(full) != upper)
        return FALSE;
    st.driveDirs[upper - u'A'] = withoutTrailingSeparator(full);
    return TRUE;
}

STANDIN_API void StandinResetPaths(void)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    resetLocked();
}

STANDIN_API void StandinSetFullPathHook(StandinFullPathHook hook)
{
    auto lock = lockState();
    state().fullHook = hook;
}

STANDIN_API void StandinSetLongPathHook(StandinLongPathHook hook)
{
    auto lock = lockState();
    state().longHook = hook;
}

STANDIN_API DWORD StandinWindowsName(const char *hostPath, LPWSTR buffer, DWORD capacity)
{
    if (!hostPath) return fail(ERROR_INVALID_PARAMETER);
    wstring name;
    {
        auto lock = lockState();
        if (!windowsNameLocked(absoluteHostPath(hostPath), name)) return fail(ERROR_PATH_NOT_FOUND);
    }
    return deliver(name, buffer, capacity);
}

STANDIN_API DWORD StandinHostName(LPCWSTR windowsName, char *buffer, DWORD capacity)
{
    if (!windowsName) return fail(ERROR_INVALID_PARAMETER);
    size_t length = 0;
    if (!measure(windowsName, length)) return fail(ERROR_FILENAME_EXCED_RANGE);
    std::string path;
    {
        auto lock = lockState();
        wstring full, ignored;
        size_t filePart = 0;
        DWORD error = names::fullName(windowsName, length, contextOf(state()), full, filePart);
        Location where;
        size_t at = 0;
        bool literal = false;
        refreshIndexes();
        if (error == ERROR_SUCCESS) error = startOf(full, where, at, literal);
        if (error == ERROR_SUCCESS) error = walk(full, at, literal, where, Form::Host, ignored);
        if (error != ERROR_SUCCESS) return fail(error);
        path = where.hostPath();
    }
    return deliver(path, buffer, capacity);
}
