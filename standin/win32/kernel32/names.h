// String rules of the path stand-in, free of any file system: path kinds, full-name normalisation,
// case folding, 8.3 names and the UTF-8 / UTF-16 mapping of host names.
#ifndef STANDIN_KERNEL32_NAMES_H
#define STANDIN_KERNEL32_NAMES_H

#include <windows.h>

#include <string>
#include <vector>

namespace names {

using wstring = std::u16string;

// Longest name, terminator included, that the Windows path layer accepts (a UNICODE_STRING's limit).
constexpr size_t kMaxUnits = 32767;

inline bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// The directories a full name is made against.
struct Context {
    wstring cwd;              // full Windows name, no trailing separator unless a drive root
    const wstring *driveDirs; // 26 per-drive directories, empty when unset
};

// GetFullPathNameW's string work on a name of `length` units (no 0 unit inside). On success stores the
// full name and the offset of its file part (npos when none) and returns ERROR_SUCCESS.
DWORD fullName(const char16_t *name, size_t length, const Context &context, wstring &out, size_t &filePart);

// Drive letter of a full name "X:\..." (upper-case), or 0.
char16_t driveOf(const wstring &fullName);

// The case rule of every case-insensitive comparison: the stand-ins' one upcase table (text::upcase).
char16_t foldUnit(char16_t c);
wstring fold(const wstring &s);
bool equalFolded(const wstring &a, const wstring &b);

// Whether a name already is a legal 8.3 name (so it has no other short name).
bool isLegal83(const wstring &name);
// Whether GetLongPathNameW takes a name for a possible short name and gives the folder's stored
// spelling of it: the 8.3 shape, in units of the ANSI code page that a short name may hold, letters
// beyond ASCII included ("CAF\u00C9.TXT"; not "A B", "\u0531.TXT").
bool mayBeShortName(const wstring &name);

// The parts a short name is made of: upper-cased base (all legal characters) and extension (at most 3).
struct ShortParts {
    wstring base;
    wstring ext;
};
ShortParts shortParts(const wstring &name);
// "BASE~n.EXT" with the base cut so the whole base part fits 8 units.
wstring shortCandidate(const wstring &stem, unsigned n, const wstring &ext);
// The 4 hex digits of the checksum form.
wstring checksumHex(const wstring &name);

// Host name bytes to UTF-16 (bad bytes as 0xDC00 + byte) and back; false when a unit has no byte form.
wstring fromHost(const std::string &bytes);
bool toHost(const wstring &units, std::string &bytes);

// UTF-8 text (command lines, JSON) from UTF-16; unpaired surrogates as U+FFFD.
std::string toUtf8(const wstring &units);

} // namespace names

#endif
