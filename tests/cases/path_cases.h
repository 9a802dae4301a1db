// Case tables for the Win32 path functions, as plain data so that other tests (the wine run among them)
// can include them. Define PATHS_TEXT before including to change the string literal type (L##s where
// WCHAR is wchar_t); the default makes char16_t literals.
#ifndef TESTS_PATHS_PATH_CASES_H
#define TESTS_PATHS_PATH_CASES_H

#include <windows.h>

#ifndef PATHS_TEXT
#define PATHS_TEXT(s) u##s
#endif

// Flags of a row.
enum {
    kWineDiffers = 1,  // wine answers otherwise (the row's `wine` says how and why)
    kChosen = 2,       // behaviour not confirmed on Windows: the stand-in's documented choice
    kDerivedShort = 4, // depends on the stand-in's derived 8.3 names (Windows and wine derive their own)
};

// GetFullPathNameW(name, 260, buffer, &filePart) with the current directory C:\windows, no per-drive
// directories set.
struct FullPathCase {
    const WCHAR *name;
    const WCHAR *expected; // nullptr when the call fails
    DWORD ret;
    DWORD error;  // last error after a failure
    int filePart; // offset of *filePart in the buffer, -1 for NULL
    unsigned flags;
    const char *wine = nullptr; // with kWineDiffers: what wine answers instead, and why
};

// GetLongPathNameW / GetShortPathNameW(name, buffer, 260) over kPathTree, with C: mapped to the tree's
// root, \\srv\share to its "Program Files" folder, and the current directory C:\Program Files.
struct ConvertCase {
    const WCHAR *name;
    const WCHAR *expected; // nullptr when the call fails
    DWORD ret;
    DWORD error;
    unsigned flags;
    const char *wine = nullptr; // with kWineDiffers: what wine answers instead, and why
};

static const char *const kPathTree[] = {
#include "path_tree.inc"
};

static const FullPathCase kFullPathCases[] = {
#include "full_path_cases.inc"
};

static const ConvertCase kLongPathCases[] = {
#include "long_path_cases.inc"
};

static const ConvertCase kShortPathCases[] = {
#include "short_path_cases.inc"
};

#endif
