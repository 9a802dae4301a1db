// String rules of the path stand-in: how Windows makes a name full, how it compares names, how NTFS
// derives 8.3 names, and how host file names map to UTF-16.
#include "names.h"

#include "case.h"
#include "utf8.h"

namespace names {

static const wstring::size_type npos = wstring::npos;

static bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// Characters an 8.3 name may hold besides letters and digits.
static bool isShortPunct(char16_t c)
{
    for (char16_t p : u"!#$%&'()-@^_`{}~")
        if (p != 0 && c == p) return true;
    return false;
}

static bool isShortUnit(char16_t c)
{
    return isAsciiLetter(c) || (c >= u'0' && c <= u'9') || isShortPunct(c);
}

static wstring stripDotsAndSpaces(wstring s)
{
    while (!s.empty() && (s.back() == u'.' || s.back() == u' ')) s.pop_back();
    return s;
}

// Device names compare with ASCII letters upper-cased and nothing else folded.
static bool equalAsciiUpper(const wstring &name, const char16_t *upper)
{
    size_t i = 0;
    for (; i < name.size() && upper[i] != 0; ++i) {
        char16_t c = name[i] >= u'a' && name[i] <= u'z' ? char16_t(name[i] - 32) : name[i];
        if (c != upper[i]) return false;
    }
    return i == name.size() && upper[i] == 0;
}

// Windows 11 device names ("CON", "COM1", "LPT\u00B2", ...).
static bool isDeviceName(const wstring &name)
{
    static const char16_t *const kDevices[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
    for (const char16_t *device : kDevices)
        if (equalAsciiUpper(name, device)) return true;
    if (name.size() != 4) return false;
    char16_t digit = name[3];
    bool numbered = (digit >= u'1' && digit <= u'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    wstring stem = name.substr(0, 3);
    return numbered && (equalAsciiUpper(stem, u"COM") || equalAsciiUpper(stem, u"LPT"));
}

// The device a name stands for on Windows 11, or empty. A bare relative name counts with trailing dots
// and spaces and at most one colon after them; NUL counts as the last component of any drive, rooted
// or relative name, with at most two colons:
//   "con", "con:", "lpt9." -> the device; "C:NUL  . ", "c:nul. . :", "C:\x\nul::" -> "NUL"/"nul";
//   "C:con", "C:\con\con", "nul.txt", "c:nul:aaa", "c:\nul::::::" -> none.
static wstring deviceOf(const wstring &s)
{
    if (s.size() >= 2 && s[0] == u'\\' && s[1] == u'\\')
        return wstring(); // "\\server\share\nul", "\\.\nul": never a device name here
    bool driveForm = s.size() >= 2 && s[1] == u':';
    size_t slash = s.rfind(u'\\');
    size_t start = slash != npos ? slash + 1 : (driveForm ? 2 : 0);
    wstring last = s.substr(start);
    size_t colons = 0;
    for (; !last.empty() && last.back() == u':'; ++colons) last.pop_back();
    last = stripDotsAndSpaces(last);
    if (colons <= 2 && equalAsciiUpper(last, u"NUL")) return last;
    if (start == 0 && colons <= 1 && isDeviceName(last)) return last;
    return wstring();
}

// Collapses separator runs, drops "." and resolves ".." (never below `floor` components, which are
// names even when spelled "." or ".."), applies the trailing-dot rules, and appends the result to
// `root`. The component left last once the steps are resolved loses its trailing dots and spaces like
// any final one; a UNC root reached by a step has no separator after it.
static DWORD normalise(const wstring &root, const wstring &rest, size_t floor, wstring &out, size_t &filePart)
{
    std::vector<wstring> parts;
    bool trailing = false; // the name ends in a separator
    bool stepped = false;  // its last component was "." or ".."
    size_t begin = 0;
    for (;;) {
        size_t end = rest.find(u'\\', begin);
        bool last = end == npos;
        wstring part = rest.substr(begin, last ? npos : end - begin);
        if (parts.size() >= floor && (part == u"." || part == u"..")) {
            if (part == u".." && parts.size() > floor) parts.pop_back();
            stepped = last;
        } else if (last) {
            part = stripDotsAndSpaces(part); // "a. . " -> "a"; "..  " -> "" (kept separator)
            if (part.empty())
                trailing = true;
            else
                parts.push_back(part);
        } else if (!part.empty() || (parts.empty() && floor > 0)) {
            // "\\\.\x": the server is empty, and the "." after it is the share
            size_t n = part.size();
            // "test." -> "test"; "test.." stays; a server or share is kept as written:
            // "\\x.\y.\z" stays, and so does the share "." of "\\x\.\y"
            if (parts.size() >= floor && n >= 2 && part[n - 1] == u'.' && part[n - 2] != u'.')
                part.pop_back();
            parts.push_back(part);
        }
        if (last) break;
        begin = end + 1;
    }
    if (stepped && !parts.empty()) {
        parts.back() = stripDotsAndSpaces(parts.back()); // "C:\Docs..\." -> "C:\Docs"
        if (parts.back().empty()) {
            parts.pop_back(); // "C:\x\. .\." -> "C:\x\"
            trailing = true;
        }
    }
    // Every root ends in its separator, so one goes between parts only, and a step back to the root
    // adds none: "C:\x\.." -> "C:\" (the root's own), "\\srv\share\x\.." -> "\\srv\share"
    out = root;
    filePart = npos;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += u'\\';
        filePart = out.size();
        out += parts[i];
    }
    if (parts.size() <= floor) filePart = npos; // "\\server\share": no file part
    if (trailing && (!parts.empty() || out.back() != u'\\')) {
        out += u'\\';
        filePart = npos;
    }
    return out.size() >= kMaxUnits ? ERROR_FILENAME_EXCED_RANGE : ERROR_SUCCESS;
}

// Full names of the absolute kinds; `s` uses backslashes only.
static DWORD absoluteName(const wstring &s, wstring &out, size_t &filePart)
{
    if (s.size() == 3 && s[0] == u'\\' && s[1] == u'\\' && (s[2] == u'.' || s[2] == u'?'))
        return normalise(u"\\\\.\\", wstring(), 0, out, filePart); // "\\?", "\\.": the device root
    if (s.size() >= 4 && s[0] == u'\\' && s[1] == u'\\' && (s[2] == u'.' || s[2] == u'?') && s[3] == u'\\')
        // "\\?\C:\x", "\\.\pipe": local device, its root is the first four units
        return normalise(s.substr(0, 4), s.substr(4), 0, out, filePart);
    if (s.size() >= 2 && s[0] == u'\\' && s[1] == u'\\')
        // "\\server\share\x": UNC, server and share are never removed by ".."
        return normalise(u"\\\\", s.substr(2), 2, out, filePart);
    // "C:\x": drive absolute
    return normalise(s.substr(0, 3), s.substr(3), 0, out, filePart);
}

// The root of the current directory without its separator: "C:" or "\\server\share".
static wstring currentRoot(const wstring &cwd)
{
    if (cwd.size() >= 2 && cwd[1] == u':') return cwd.substr(0, 2);
    size_t server = cwd.find(u'\\', 2);
    size_t share = server == npos ? npos : cwd.find(u'\\', server + 1);
    return cwd.substr(0, share);
}

DWORD fullName(const char16_t *name, size_t length, const Context &context, wstring &out, size_t &filePart)
{
    wstring s(name, length);
    for (char16_t &c : s)
        if (c == u'/') c = u'\\';
    if (s.find_first_not_of(u' ') == npos) return ERROR_INVALID_NAME; // "", "   "
    wstring device = deviceOf(s);
    if (!device.empty()) {
        out = u"\\\\.\\" + device;
        filePart = npos;
        return ERROR_SUCCESS;
    }
    if (s.size() >= 2 && s[0] == u'\\' && s[1] == u'\\')
        return absoluteName(s, out, filePart); // "\\server\share", "\\?\C:\x"
    if (s.size() >= 3 && s[1] == u':' && s[2] == u'\\') return absoluteName(s, out, filePart); // "C:\x"
    if (s.size() >= 2 && s[1] == u':') {
        // "C:x": against the drive's own directory
        wstring base;
        char16_t letter = foldUnit(s[0]);
        if (driveOf(context.cwd) == letter)
            base = context.cwd;
        else if (letter >= u'A' && letter <= u'Z' && !context.driveDirs[letter - u'A'].empty())
            base = context.driveDirs[letter - u'A'];
        else
            base = wstring(1, s[0]) + u":\\";
        wstring rest = s.substr(2);
        return absoluteName(rest.empty() ? base : base + u'\\' + rest, out, filePart);
    }
    if (s[0] == u'\\') return absoluteName(currentRoot(context.cwd) + s, out, filePart); // "\x": rooted
    return absoluteName(context.cwd + u'\\' + s, out, filePart);                         // "x": relative
}

char16_t driveOf(const wstring &fullName)
{
    if (fullName.size() >= 2 && fullName[1] == u':' && isAsciiLetter(fullName[0]))
        return foldUnit(fullName[0]);
    return 0;
}

char16_t foldUnit(char16_t c) { return text::upcase(c); }

wstring fold(const wstring &s) { return text::upcase(s); }

bool equalFolded(const wstring &a, const wstring &b) { return text::equalUpcased(a, b); }

// A base of 1 to 8 units, then at most one dot and 1 to 3 units, each one that `allowed` accepts.
template <typename Allowed> static bool has83Shape(const wstring &name, Allowed allowed)
{
    size_t dot = name.find(u'.');
    size_t baseLength = dot == npos ? name.size() : dot;
    if (baseLength == 0 || baseLength > 8) return false;
    if (dot != npos) {
        size_t extLength = name.size() - dot - 1;
        if (extLength == 0 || extLength > 3 || name.find(u'.', dot + 1) != npos) return false;
    }
    for (size_t i = 0; i < name.size(); ++i)
        if (i != dot && !allowed(name[i])) return false;
    return true;
}

bool isLegal83(const wstring &name) { return has83Shape(name, isShortUnit); }

bool mayBeShortName(const wstring &name)
{
    return has83Shape(name, [](char16_t c) {
        if (c < 0x20 || c > 0xFF)
            return false; // "\u0531": no byte in the ANSI code page (U+0000-U+00FF here), so '?'
        for (char16_t never : u" \"*+,/:;<=>?[\\]|")
            if (never != 0 && c == never) return false; // "a b", "a+b": never in a short name
        return true;                                    // "CAF\u00C9.TXT"
    });
}

ShortParts shortParts(const wstring &name)
{
    auto clean = [](const wstring &s) {
        wstring kept;
        for (char16_t c : s) {
            if (c == u'+')
                kept += u'_';
            else if (isShortUnit(c))
                kept += foldUnit(c);
        }
        return kept;
    };
    size_t first = name.find_first_not_of(u'.');
    size_t last = name.find_last_not_of(u'.');
    wstring s = first == npos ? wstring() : name.substr(first, last - first + 1);
    // The extension follows the last dot that has something legal after it.
    size_t dot = s.rfind(u'.');
    wstring ext;
    while (dot != npos) {
        ext = clean(s.substr(dot + 1));
        if (!ext.empty()) break;
        dot = dot == 0 ? npos : s.rfind(u'.', dot - 1);
    }
    return ShortParts{clean(s.substr(0, dot)), ext.substr(0, 3)};
}

wstring shortCandidate(const wstring &stem, unsigned n, const wstring &ext)
{
    std::string digits = std::to_string(n);
    wstring name = stem.substr(0, 8 - 1 - digits.size()) + u'~';
    for (char d : digits) name += char16_t(d);
    if (!ext.empty()) name += u'.' + ext;
    return name;
}

wstring checksumHex(const wstring &name)
{
    uint32_t hash = 2166136261u;
    for (char16_t c : name) {
        hash ^= foldUnit(c);
        hash *= 16777619u;
    }
    uint32_t value = (hash ^ (hash >> 16)) & 0xFFFFu;
    static const char16_t kHex[] = u"0123456789ABCDEF";
    wstring hex;
    for (int shift = 12; shift >= 0; shift -= 4) hex += kHex[(value >> shift) & 0xF];
    return hex;
}

wstring fromHost(const std::string &bytes) { return text::utf16_from_bytes(bytes); }

bool toHost(const wstring &units, std::string &bytes)
{
    return units.find(char16_t(0)) == npos && text::bytes_from_utf16(units, bytes);
}

std::string toUtf8(const wstring &units) { return text::utf8_from_utf16(units); }

} // namespace names
