// The path case table of tests/cases run through whichever path API this is built against: the
// kernel32 stand-in on Linux, wine's (or Windows') own in the cross build. Prints one line per row,
// and fails on a row whose answer differs from the table, unless on Windows the row is marked as
// one where wine is known to answer otherwise, a choice Windows never confirmed, or a derived
// short name.
// Rows marked "long*" repeat a long-name row whose short names are the stand-in's derivation, with
// this platform's short names for the same entries instead.
// Usage: paths_table TREE_FOLDER
//   TREE_FOLDER receives the table's tree. Under wine, drive T: must already name that folder (a
//   link in the prefix's dosdevices); here the stand-in maps T: itself, and C: to a folder beside
//   it holding "windows".
#ifdef _WIN32
#define PATHS_TEXT(s) L##s
#endif
#include "path_cases.h"

#ifndef _WIN32
#include <standin/paths.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/text.h"

namespace fs = std::filesystem;

namespace {

using WString = std::basic_string<WCHAR>;

struct Answer {
    DWORD ret;
    DWORD error;  // last error when ret is 0
    WString text; // what the buffer holds when the call succeeded
    int filePart; // full names only: offset, -1 for NULL
};

bool operator==(const Answer &a, const Answer &b)
{
    return a.ret == b.ret && a.error == b.error && a.text == b.text && a.filePart == b.filePart;
}

// Counts of the rows, by outcome.
struct Tally {
    int agree = 0, excused = 0, disagree = 0;
};

} // namespace

// The conversion rows name the tree as C:; here it is T:, so that C: stays wine's own.
static WString on_tree_drive(const WCHAR *name)
{
    WString text(name);
    for (size_t at = 0; (at = text.find(':', at)) != WString::npos; ++at) {
        if (at > 0 && (text[at - 1] == 'C' || text[at - 1] == 'c'))
            text[at - 1] = (WCHAR)(text[at - 1] + ('T' - 'C'));
    }
    return text;
}

static std::string shown(const WCHAR *text, size_t length)
{
    return "\"" + support::printable(std::u16string(text, text + length)) + "\"";
}

static std::string shown(const WString &text) { return shown(text.data(), text.size()); }

static std::string shown(const Answer &answer)
{
    if (answer.ret == 0) return "fails, error " + std::to_string(answer.error);
    std::string out = shown(answer.text) + " (" + std::to_string(answer.ret) + ")";
    if (answer.filePart != -2) out += " file part " + std::to_string(answer.filePart);
    return out;
}

static Answer expected_answer(const WCHAR *expected, DWORD ret, DWORD error, int filePart)
{
    if (expected == nullptr) return {0, error, WString(), filePart};
    return {ret, 0, WString(expected), filePart};
}

// One row's verdict, printed; a difference is excused only on Windows and only for a marked row. A
// row marked as one where wine differs must say how, and only such a row may: the table is the one
// record of wine's differences.
static void judge(Tally &tally, const char *function, const WString &name, const Answer &expected,
                  const Answer &got, unsigned flags, const char *wine)
{
    std::string verdict;
    if (((flags & kWineDiffers) != 0) != (wine != nullptr)) {
        ++tally.disagree;
        verdict = wine ? "TABLE ROW says how wine differs without kWineDiffers"
                       : "TABLE ROW has kWineDiffers without saying how wine differs";
    } else if (expected == got) {
        ++tally.agree;
        verdict = flags & kWineDiffers ? "same (the table expects wine to differ)" : "same";
    } else {
#ifdef _WIN32
        const bool excusable = (flags & (kWineDiffers | kChosen | kDerivedShort)) != 0;
#else
        const bool excusable = false;
#endif
        std::string why = flags & kWineDiffers    ? std::string("wine differs: ") + wine
                          : flags & kDerivedShort ? "short names derived otherwise"
                          : flags & kChosen       ? "unconfirmed on Windows, the stand-in's choice"
                                                  : "NOT MARKED";
        if (excusable) {
            ++tally.excused;
            verdict = "differs: " + why;
        } else {
            ++tally.disagree;
            verdict = "DISAGREES (" + why + ")";
        }
        verdict += "\n      table: " + shown(expected) + "\n      here:  " + shown(got);
    }
    printf("%-6s %s: %s\n", function, shown(name).c_str(), verdict.c_str());
}

static Answer full_path(const WString &name)
{
    WCHAR buffer[300];
    WCHAR *filePart = buffer + 299;
    SetLastError(0);
    DWORD ret = GetFullPathNameW(name.c_str(), 260, buffer, &filePart);
    if (ret == 0 || ret >= 260) return {ret, GetLastError(), WString(), -1};
    return {ret, 0, WString(buffer, ret), filePart == nullptr ? -1 : (int)(filePart - buffer)};
}

static Answer long_or_short(DWORD (*function)(LPCWSTR, LPWSTR, DWORD), const WString &name)
{
    WCHAR buffer[300];
    SetLastError(0);
    DWORD ret = function(name.c_str(), buffer, 260);
    if (ret == 0 || ret > 260) return {ret, GetLastError(), WString(), -2};
    return {ret, 0, WString(buffer, ret), -2};
}

static DWORD WINAPI long_path(LPCWSTR source, LPWSTR destination, DWORD capacity)
{
    return GetLongPathNameW(source, destination, capacity);
}

static DWORD WINAPI short_path(LPCWSTR source, LPWSTR destination, DWORD capacity)
{
    return GetShortPathNameW(source, destination, capacity);
}

// The components of a name and the separators after each, so that joining them gives it back.
static std::vector<WString> components(const WString &name)
{
    std::vector<WString> parts;
    size_t start = 0;
    while (start < name.size()) {
        size_t end = name.find_first_of(PATHS_TEXT("\\/"), start);
        end = end == WString::npos ? name.size() : name.find_first_not_of(PATHS_TEXT("\\/"), end);
        if (end == WString::npos) end = name.size();
        parts.push_back(name.substr(start, end - start));
        start = end;
    }
    return parts;
}

// A name whose short components are the table's own derivation, rewritten with this platform's
// short names for the same entries (the expected long name tells which), in the given letter
// case; so the expansion is compared even where the derivations differ. Empty when it cannot be.
static WString with_own_short_names(const WString &name, const WString &expected)
{
    std::vector<WString> given = components(name), target = components(expected);
    if (given.size() != target.size()) return WString();
    WString out, prefix;
    for (size_t i = 0; i < given.size(); ++i) {
        prefix += target[i];
        if (given[i].find('~') == WString::npos) {
            out += given[i];
            continue;
        }
        WCHAR buffer[MAX_PATH];
        DWORD n = GetShortPathNameW(prefix.c_str(), buffer, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return WString();
        std::vector<WString> own = components(WString(buffer, n));
        WString part = own.back();
        bool lower = false;
        for (WCHAR unit : given[i]) lower = lower || (unit >= 'a' && unit <= 'z');
        for (WCHAR &unit : part)
            if (lower && unit >= 'A' && unit <= 'Z') unit = (WCHAR)(unit + 0x20);
        out += part;
    }
    return out;
}

static bool make_tree(const fs::path &root)
{
    std::error_code error;
    fs::remove_all(root, error);
    fs::create_directories(root, error);
    for (const char *entry : kPathTree) {
        std::string name(entry);
        fs::path path = root / fs::u8path(name);
        if (!name.empty() && name.back() == '/')
            fs::create_directories(path, error);
        else
            std::ofstream(path) << "x";
        if (!fs::exists(path)) {
            fprintf(stderr, "cannot make %s\n", path.string().c_str());
            return false;
        }
    }
    return true;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: paths_table TREE_FOLDER\n");
        return 2;
    }
    const fs::path tree = fs::absolute(argv[1]);
    if (!make_tree(tree)) return 2;
#ifndef _WIN32
    const fs::path c_drive = tree.parent_path() / (tree.filename().string() + "-c");
    fs::create_directories(c_drive / "windows");
    StandinMapDrive('C', c_drive.c_str());
    StandinMapDrive('T', tree.c_str());
    StandinMapShare(u"\\\\srv\\share", (tree / "Program Files").c_str());
#endif
    WCHAR probe[MAX_PATH];
    if (GetLongPathNameW(on_tree_drive(PATHS_TEXT("C:\\Program Files")).c_str(), probe, MAX_PATH) == 0) {
        fprintf(stderr, "drive T: does not name %s\n", tree.string().c_str());
        return 2;
    }

    Tally tally;
    if (!SetCurrentDirectoryW(PATHS_TEXT("C:\\windows"))) return 2;
    for (const FullPathCase &row : kFullPathCases) {
        judge(tally, "full", row.name, expected_answer(row.expected, row.ret, row.error, row.filePart),
              full_path(row.name), row.flags, row.wine);
    }
    if (!SetCurrentDirectoryW(on_tree_drive(PATHS_TEXT("C:\\Program Files")).c_str())) return 2;
    for (const ConvertCase &row : kLongPathCases) {
        WString name = on_tree_drive(row.name);
        Answer expected = expected_answer(row.expected ? on_tree_drive(row.expected).c_str() : nullptr,
                                          row.ret, row.error, -2);
        judge(tally, "long", name, expected, long_or_short(long_path, name), row.flags, row.wine);
        if ((row.flags & kDerivedShort) && row.expected != nullptr) {
            // No short names of its own here: the answer is that lookup's failure.
            WString own = with_own_short_names(name, on_tree_drive(row.expected));
            Answer got =
                own.empty() ? Answer{0, GetLastError(), WString(), -2} : long_or_short(long_path, own);
            judge(tally, "long*", own.empty() ? name : own, expected, got, row.flags & ~kDerivedShort,
                  row.wine);
        }
    }
    for (const ConvertCase &row : kShortPathCases) {
        WString name = on_tree_drive(row.name);
        Answer expected = expected_answer(row.expected ? on_tree_drive(row.expected).c_str() : nullptr,
                                          row.ret, row.error, -2);
        judge(tally, "short", name, expected, long_or_short(short_path, name), row.flags, row.wine);
    }

    printf("\n%d rows: %d as the table says, %d differ where the table marks it, %d disagree\n",
           tally.agree + tally.excused + tally.disagree, tally.agree, tally.excused, tally.disagree);
    return tally.disagree == 0 ? 0 : 1;
}
