// The kernel32 stand-in: Win32 path functions over host folders mapped to drive letters and UNC shares,
// with 8.3 short names derived per folder and a per-folder index for case-insensitive lookups.
#include "names.h"

#include <standin/paths.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

using names::wstring;

static const size_t npos = wstring::npos;

static thread_local DWORD lastError = ERROR_SUCCESS;

struct Share {
    wstring server, share;  // as mapped; compared folded
    std::string folder;
};

struct Entry {
    std::string host;   // on-disk bytes
    wstring name;       // Windows spelling of the on-disk name
    wstring shortName;  // empty when the name is a legal 8.3 name
    bool isDir = false;
};

// What one host folder holds, keyed for case-insensitive and short-name lookups. Valid while the
// folder's identity and times are those it was built from.
struct FolderIndex {
    dev_t dev = 0;
    ino_t ino = 0;
    timespec mtime{}, ctime{};
    bool racy = false;  // built within a second of the folder's last change: a change may be unseen
    std::vector<Entry> entries;                       // sorted by on-disk bytes
    std::unordered_map<wstring, uint32_t> byName;     // folded name -> first entry in byte order
    std::vector<uint32_t> sameFold;                   // next entry with the same folded name, or kNone
    std::unordered_map<wstring, uint32_t> byShort;    // short name -> entry
};

struct State {
    std::mutex mutex;
    bool ready = false;
    std::string drives[26];  // host folders, empty when unmapped
    std::vector<Share> shares;
    wstring cwd;
    wstring driveDirs[26];
    StandinFullPathHook fullHook = nullptr;
    StandinLongPathHook longHook = nullptr;
    std::unordered_map<std::string, FolderIndex> indexes;
};

// A place in the host file system: the mapped folder of a drive or share and the on-disk names below.
struct Location {
    std::string root;  // empty: the drive or share is not mapped
    std::vector<std::string> parts;
    struct stat info {};  // of the folder itself, when `known`
    bool known = false;
};

struct Found {
    std::string host;
    wstring name;
    wstring shortName;
    bool isDir = false;
    struct stat info {};  // of the entry, when `haveInfo`
    bool haveInfo = false;
};

enum class Form { Long, Short, Host };

static const size_t kIndexCacheLimit = 256;
static const uint32_t kNone = UINT32_MAX;

static State &state()
{
    static State instance;
    return instance;
}

static DWORD fail(DWORD error)
{
    lastError = error;
    return 0;
}

// Length of a name up to its first 0 unit; false when there is none within the Windows limit.
static bool measure(LPCWSTR name, size_t &length)
{
    for (length = 0; length < names::kMaxUnits; ++length)
        if (name[length] == 0)
            return true;
    return false;
}

// The Win32 result rule: units written without the terminator when the name fits, else the capacity
// needed with it, leaving the buffer untouched.
template <typename Unit, typename Text>
static DWORD deliver(const Text &text, Unit *buffer, DWORD capacity)
{
    if (text.size() >= capacity)
        return DWORD(text.size() + 1);
    if (!buffer)
        return fail(ERROR_INVALID_PARAMETER);
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return DWORD(text.size());
}

static std::string joinHost(const std::string &folder, const std::string &name)
{
    return folder.back() == '/' ? folder + name : folder + '/' + name;
}

static std::string hostPath(const Location &where)
{
    std::string path = where.root;
    for (const std::string &part : where.parts)
        path = joinHost(path, part);
    return path;
}

// "/a/./b//c/../" -> "/a/b"; relative paths are taken from the process's current folder.
static std::string absoluteHostPath(const char *path)
{
    std::string input = path;
    if (input.empty() || input[0] != '/') {
        char buffer[4096];
        input = std::string(getcwd(buffer, sizeof buffer) ? buffer : "/") + '/' + input;
    }
    std::vector<std::string> parts;
    size_t begin = 0;
    while (begin <= input.size()) {
        size_t end = std::min(input.find('/', begin), input.size());
        std::string part = input.substr(begin, end - begin);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        begin = end + 1;
    }
    std::string result;
    for (const std::string &part : parts)
        result += '/' + part;
    return result.empty() ? "/" : result;
}

static bool sameTime(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the folder changed within the last second: file times advance in coarse ticks, so a later
// change in the same tick would leave them as they are.
static bool recentlyChanged(const struct stat &info)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    time_t changed = std::max(info.st_mtim.tv_sec, info.st_ctim.tv_sec);
    return now.tv_sec - changed <= 1;
}

static void buildIndex(const std::string &folder, const struct stat &info, FolderIndex &index)
{
    index = FolderIndex();
    index.dev = info.st_dev;
    index.ino = info.st_ino;
    index.mtime = info.st_mtim;
    index.ctime = info.st_ctim;
    index.racy = recentlyChanged(info);
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *item = readdir(dir)) {
            if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0)
                continue;
            bool isDir = item->d_type == DT_DIR;
            struct stat target;
            if (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN)  // a link to a folder is a folder
                isDir = stat(joinHost(folder, item->d_name).c_str(), &target) == 0 && S_ISDIR(target.st_mode);
            index.entries.push_back(Entry{item->d_name, wstring(), wstring(), isDir});
        }
        closedir(dir);
    }
    std::sort(index.entries.begin(), index.entries.end(),
              [](const Entry &a, const Entry &b) { return a.host < b.host; });
    std::unordered_set<wstring> taken;
    std::unordered_map<wstring, uint32_t> lastOfFold;
    index.sameFold.assign(index.entries.size(), kNone);
    for (uint32_t i = 0; i < index.entries.size(); ++i) {
        Entry &entry = index.entries[i];
        entry.name = names::fromHost(entry.host);
        wstring folded = names::fold(entry.name);
        auto last = lastOfFold.find(folded);
        if (last == lastOfFold.end()) {
            index.byName.emplace(folded, i);
            lastOfFold.emplace(std::move(folded), i);
        } else {
            index.sameFold[last->second] = i;
            last->second = i;
        }
        if (names::isLegal83(entry.name))
            taken.insert(names::fold(entry.name));
    }
    for (uint32_t i = 0; i < index.entries.size(); ++i) {
        Entry &entry = index.entries[i];
        if (names::isLegal83(entry.name))
            continue;
        names::ShortParts parts = names::shortParts(entry.name);
        if (parts.base.size() > 2) {
            for (unsigned n = 1; n <= 4 && entry.shortName.empty(); ++n) {
                wstring candidate = names::shortCandidate(parts.base, n, parts.ext);
                if (taken.insert(candidate).second)
                    entry.shortName = candidate;
            }
        }
        wstring stem = parts.base.substr(0, 2) + names::checksumHex(entry.name);
        for (unsigned n = 1; entry.shortName.empty(); ++n) {
            wstring candidate = names::shortCandidate(stem, n, parts.ext);
            if (taken.insert(candidate).second)
                entry.shortName = candidate;
        }
        index.byShort.emplace(entry.shortName, i);
    }
}

static bool describes(const FolderIndex &index, const struct stat &info)
{
    return index.dev == info.st_dev && index.ino == info.st_ino && sameTime(index.mtime, info.st_mtim) &&
           sameTime(index.ctime, info.st_ctim);
}

// The index of a folder, rebuilt when the folder changed since (or when `rebuild` asks).
static FolderIndex &indexOf(const std::string &folder, const struct stat &info, bool rebuild)
{
    auto &indexes = state().indexes;
    auto it = indexes.find(folder);
    if (it != indexes.end() && !rebuild && describes(it->second, info))
        return it->second;
    if (it == indexes.end()) {
        if (indexes.size() >= kIndexCacheLimit)
            indexes.clear();
        it = indexes.emplace(folder, FolderIndex()).first;
    }
    buildIndex(folder, info, it->second);
    return it->second;
}

// The entry a name stands for: the one spelled exactly so (`exact` holds the name's host bytes, or is
// empty), else the first in byte order with the name in another case, else the one with that short name.
static const Entry *lookUp(const FolderIndex &index, const wstring &name, const std::string &exact)
{
    wstring folded = names::fold(name);
    auto byName = index.byName.find(folded);
    if (byName != index.byName.end()) {
        for (uint32_t i = byName->second; i != kNone && !exact.empty(); i = index.sameFold[i])
            if (index.entries[i].host == exact)
                return &index.entries[i];
        return &index.entries[byName->second];
    }
    if (!names::isLegal83(name))
        return nullptr;
    auto byShort = index.byShort.find(folded);
    return byShort != index.byShort.end() ? &index.entries[byShort->second] : nullptr;
}

// A cached index that answers for the folder as it is now, without asking the file system: one that
// was built after the folder's last change had settled. A racy one is read again once it has.
static const FolderIndex *settledIndex(const std::string &folder, const struct stat &info)
{
    auto &indexes = state().indexes;
    auto it = indexes.find(folder);
    if (it == indexes.end() || !describes(it->second, info))
        return nullptr;
    if (it->second.racy) {
        if (recentlyChanged(info))
            return nullptr;
        buildIndex(folder, info, it->second);
    }
    return &it->second;
}

static Found foundEntry(const Entry &entry)
{
    return Found{entry.host, entry.name, entry.shortName, entry.isDir, {}, false};
}

// Finds `name` in the folder at `where`. A settled index answers alone; otherwise a name spelled as on
// disk costs one stat, and any other spelling goes through the folder's index.
static DWORD findEntry(Location &where, const wstring &name, bool wantShort, Found &found)
{
    if (where.root.empty())
        return ERROR_PATH_NOT_FOUND;
    std::string folder = hostPath(where);
    if (!where.known && stat(folder.c_str(), &where.info) != 0)
        return ERROR_PATH_NOT_FOUND;
    where.known = true;
    if (!S_ISDIR(where.info.st_mode))
        return ERROR_PATH_NOT_FOUND;
    std::string exact;
    bool encodable = names::toHost(name, exact);
    if (!encodable)
        exact.clear();
    if (const FolderIndex *index = settledIndex(folder, where.info)) {
        const Entry *entry = lookUp(*index, name, exact);
        if (!entry)
            return ERROR_FILE_NOT_FOUND;
        found = foundEntry(*entry);
        return ERROR_SUCCESS;
    }
    struct stat info;
    if (encodable) {
        if (stat(joinHost(folder, exact).c_str(), &info) == 0) {
            found = Found{exact, name, wstring(), S_ISDIR(info.st_mode), info, true};
            if (wantShort && !names::isLegal83(name)) {
                const Entry *entry = lookUp(indexOf(folder, where.info, false), name, exact);
                if (!entry || entry->host != exact)  // created since the index was built, in the same tick
                    entry = lookUp(indexOf(folder, where.info, true), name, exact);
                if (entry && entry->host == exact)
                    found.shortName = entry->shortName;
            }
            return ERROR_SUCCESS;
        }
        if (errno == EACCES)
            return ERROR_ACCESS_DENIED;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0 && (stat(folder.c_str(), &where.info) != 0 || !S_ISDIR(where.info.st_mode)))
            return ERROR_PATH_NOT_FOUND;
        const FolderIndex &index = indexOf(folder, where.info, attempt > 0);
        const Entry *entry = lookUp(index, name, std::string());
        if (entry && stat(joinHost(folder, entry->host).c_str(), &info) == 0) {
            found = foundEntry(*entry);
            found.isDir = S_ISDIR(info.st_mode);
            found.info = info;
            found.haveInfo = true;
            return ERROR_SUCCESS;
        }
        if (!entry && !index.racy)
            break;
    }
    return ERROR_FILE_NOT_FOUND;
}

// The name a component is looked up by: Windows drops trailing dots and spaces of the last component
// and one trailing dot of the others ("a. ." -> "a", "dir." -> "dir", "dir.." stays).
static wstring lookupName(const wstring &given, bool last)
{
    wstring name = given;
    if (last) {
        while (!name.empty() && (name.back() == u'.' || name.back() == u' '))
            name.pop_back();
    } else if (name.back() == u'.' && !(name.size() >= 2 && name[name.size() - 2] == u'.')) {
        name.pop_back();
    }
    return name;
}

// Resolves the components of `s` from `at` on, moving `where` along and appending each separator and
// component to `out` in the requested form.
static DWORD walk(const wstring &s, size_t at, bool literal, Location &where, Form form, wstring &out)
{
    size_t n = s.size();
    bool beyond = false;
    while (at < n) {
        if (names::isSeparator(s[at])) {
            out += s[at++];
            continue;
        }
        size_t end = at;
        while (end < n && !names::isSeparator(s[end]))
            ++end;
        wstring given = s.substr(at, end - at);
        bool last = end == n;
        at = end;
        if (given == u"." || given == u"..") {
            if (literal)
                return ERROR_INVALID_NAME;  // "\\?\C:\a\..": no such name in the NT namespace
            if (given == u".." && !where.parts.empty()) {
                where.parts.pop_back();
                where.known = false;
            }
            out += given;
            continue;
        }
        wstring name = literal ? given : lookupName(given, last);
        if (name.empty()) {
            out += given;  // "C:\dir\..." names "C:\dir"
            continue;
        }
        Found found;
        DWORD error = beyond ? ERROR_FILE_NOT_FOUND : findEntry(where, name, form == Form::Short, found);
        if (error == ERROR_FILE_NOT_FOUND && form == Form::Host) {
            std::string host;
            if (!names::toHost(name, host))
                return ERROR_INVALID_NAME;
            where.parts.push_back(host);
            where.known = false;
            out += given;
            beyond = true;  // nothing below a missing component exists either
            continue;
        }
        if (error == ERROR_FILE_NOT_FOUND)
            return last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        if (error != ERROR_SUCCESS)
            return error;
        if (!last && !found.isDir)
            return ERROR_PATH_NOT_FOUND;
        where.parts.push_back(found.host);
        where.info = found.info;
        where.known = found.haveInfo;
        bool asGiven = name == given;
        if (form == Form::Long && asGiven && names::isLegal83(given))
            out += found.name;
        else if (form == Form::Short && asGiven && !found.shortName.empty())
            out += found.shortName;
        else
            out += given;
    }
    return ERROR_SUCCESS;
}

static size_t componentEnd(const wstring &s, size_t at)
{
    while (at < s.size() && !names::isSeparator(s[at]))
        ++at;
    return at;
}

// The mapped folder of "\\server\share" starting at `at`; `end` is set past the share name.
static DWORD shareAt(const wstring &s, size_t at, Location &where, size_t &end)
{
    size_t serverEnd = componentEnd(s, at);
    wstring server = s.substr(at, serverEnd - at);
    size_t shareEnd = serverEnd < s.size() ? componentEnd(s, serverEnd + 1) : serverEnd;
    wstring share = serverEnd < s.size() ? s.substr(serverEnd + 1, shareEnd - serverEnd - 1) : wstring();
    bool knownServer = false;
    for (const Share &mapped : state().shares) {
        if (!names::equalFolded(mapped.server, server))
            continue;
        knownServer = true;
        if (names::equalFolded(mapped.share, share)) {
            where = Location{mapped.folder, {}};
            end = shareEnd;
            return ERROR_SUCCESS;
        }
    }
    return knownServer ? ERROR_BAD_NET_NAME : ERROR_BAD_NETPATH;
}

static DWORD driveRoot(char16_t letter, Location &where)
{
    char16_t upper = names::foldUnit(letter);
    if (upper < u'A' || upper > u'Z' || state().drives[upper - u'A'].empty())
        return ERROR_PATH_NOT_FOUND;
    where = Location{state().drives[upper - u'A'], {}};
    return ERROR_SUCCESS;
}

static DWORD resolveFull(const wstring &fullName, Location &where);
static std::unique_lock<std::mutex> lockState();

// Where the components of `s` start from, and the offset of the first unit after its root.
static DWORD startOf(const wstring &s, Location &where, size_t &at, bool &literal)
{
    auto sep = [&](size_t i) { return i < s.size() && names::isSeparator(s[i]); };
    literal = false;
    if (sep(0) && sep(1) && s.size() >= 4 && (s[2] == u'?' || s[2] == u'.') && sep(3)) {
        // "\\?\C:\x", "\\?\UNC\server\share\x"; "\\.\" the same without the literal meaning
        literal = s[2] == u'?';
        if (s.size() >= 6 && s[5] == u':' && (s.size() == 6 || sep(6))) {
            at = 6;
            return driveRoot(s[4], where);
        }
        if (s.size() >= 8 && names::equalFolded(s.substr(4, 3), u"UNC") && sep(7))
            return shareAt(s, 8, where, at);
        return ERROR_FILE_NOT_FOUND;  // "\\?\pipe\x": no such device here
    }
    if (sep(0) && sep(1))
        return shareAt(s, 2, where, at);  // "\\server\share\x"
    if (s.size() >= 2 && s[1] == u':') {
        at = 2;
        if (sep(2))
            return driveRoot(s[0], where);  // "C:\x"
        // "C:x": the drive's own directory
        char16_t letter = names::foldUnit(s[0]);
        const State &st = state();
        if (names::driveOf(st.cwd) == letter)
            return resolveFull(st.cwd, where);
        if (letter >= u'A' && letter <= u'Z' && !st.driveDirs[letter - u'A'].empty())
            return resolveFull(st.driveDirs[letter - u'A'], where);
        return driveRoot(letter, where);
    }
    at = 0;
    DWORD error = resolveFull(state().cwd, where);
    if (sep(0)) {
        where.parts.clear();  // "\x": the current directory's root
        where.known = false;
    }
    return error;
}

// Location of an existing full name ("C:\dir", "\\server\share\dir").
static DWORD resolveFull(const wstring &fullName, Location &where)
{
    size_t at = 0;
    bool literal = false;
    DWORD error = startOf(fullName, where, at, literal);
    wstring ignored;
    return error != ERROR_SUCCESS ? error : walk(fullName, at, literal, where, Form::Long, ignored);
}

static bool hasWildcard(const wstring &s, size_t from)
{
    return s.find_first_of(u"*?", from) != npos;
}

// GetLongPathNameW and GetShortPathNameW: the same walk, another form of each component.
static DWORD convertName(LPCWSTR source, LPWSTR destination, DWORD capacity, Form form)
{
    if (!source)
        return fail(ERROR_INVALID_PARAMETER);
    size_t length = 0;
    if (!measure(source, length))
        return fail(ERROR_FILENAME_EXCED_RANGE);
    if (length == 0)
        return fail(ERROR_PATH_NOT_FOUND);
    wstring s(source, length);
    bool prefixed = length >= 4 && names::isSeparator(s[0]) && names::isSeparator(s[1]) && s[2] == u'?' &&
                    names::isSeparator(s[3]);
    if (!prefixed && length >= MAX_PATH)
        return fail(ERROR_PATH_NOT_FOUND);  // not a long-path-aware process
    wstring out;
    {
        auto lock = lockState();
        Location where;
        size_t at = 0;
        bool literal = false;
        DWORD error = startOf(s, where, at, literal);
        if (error == ERROR_SUCCESS && hasWildcard(s, prefixed ? 4 : 0))
            error = ERROR_INVALID_NAME;
        out = s.substr(0, at);
        if (error == ERROR_SUCCESS)
            error = walk(s, at, literal, where, form, out);
        if (error != ERROR_SUCCESS)
            return fail(error);
    }
    return deliver(out, destination, capacity);
}

static names::Context contextOf(const State &st)
{
    return names::Context{st.cwd, st.driveDirs};
}

static wstring withoutTrailingSeparator(wstring full)
{
    if (full.size() > 3 && full.back() == u'\\')
        full.pop_back();  // "C:\dir\" -> "C:\dir"; "C:\" stays
    return full;
}

static DWORD setCurrentLocked(const wstring &name)
{
    State &st = state();
    wstring full;
    size_t filePart = 0;
    DWORD error = names::fullName(name.data(), name.size(), contextOf(st), full, filePart);
    if (error != ERROR_SUCCESS)
        return error;
    bool drive = names::driveOf(full) != 0;
    bool unc = full.size() > 2 && full[0] == u'\\' && full[1] == u'\\' && full[2] != u'.' && full[2] != u'?';
    if (!drive && !unc)
        return ERROR_INVALID_NAME;  // "\\.\con"
    Location where;
    error = resolveFull(full, where);
    if (error != ERROR_SUCCESS)
        return error;
    struct stat info;
    if (stat(hostPath(where).c_str(), &info) != 0)
        return ERROR_PATH_NOT_FOUND;
    if (!S_ISDIR(info.st_mode))
        return ERROR_DIRECTORY;
    st.cwd = withoutTrailingSeparator(full);
    if (drive)
        st.driveDirs[names::driveOf(full) - u'A'] = st.cwd;
    return ERROR_SUCCESS;
}

// The Windows name of an absolute, normalised host path: the mapping with the longest folder wins.
static bool windowsNameLocked(const std::string &path, wstring &name)
{
    const State &st = state();
    size_t best = 0;
    bool found = false;
    auto covers = [&](const std::string &folder) {
        if (folder.empty())
            return false;
        if (folder == "/")
            return true;
        return path.compare(0, folder.size(), folder) == 0 &&
               (path.size() == folder.size() || path[folder.size()] == '/');
    };
    auto below = [&](const std::string &folder) {
        wstring rest;
        size_t begin = folder == "/" ? 1 : folder.size() + 1;
        while (begin < path.size()) {
            size_t end = std::min(path.find('/', begin), path.size());
            rest += u'\\' + names::fromHost(path.substr(begin, end - begin));
            begin = end + 1;
        }
        return rest;
    };
    for (int d = 0; d < 26; ++d) {
        const std::string &folder = st.drives[d];
        if (covers(folder) && (!found || folder.size() > best)) {
            found = true;
            best = folder.size();
            wstring rest = below(folder);
            name = wstring(1, char16_t(u'A' + d)) + u':' + (rest.empty() ? wstring(u"\\") : rest);
        }
    }
    for (const Share &share : st.shares) {
        if (covers(share.folder) && (!found || share.folder.size() > best)) {
            found = true;
            best = share.folder.size();
            name = u"\\\\" + share.server + u'\\' + share.share + below(share.folder);
        }
    }
    return found;
}

static std::string normalisedFolder(const char *folder)
{
    return absoluteHostPath(folder);
}

// "\\server\share" (either separator, optional trailing one) into its two names.
static bool splitShare(const wstring &root, wstring &server, wstring &share)
{
    if (root.size() < 5 || !names::isSeparator(root[0]) || !names::isSeparator(root[1]))
        return false;
    size_t serverEnd = componentEnd(root, 2);
    if (serverEnd == 2 || serverEnd >= root.size())
        return false;
    size_t shareEnd = componentEnd(root, serverEnd + 1);
    if (shareEnd == serverEnd + 1 || (shareEnd < root.size() && shareEnd + 1 != root.size()))
        return false;
    server = root.substr(2, serverEnd - 2);
    share = root.substr(serverEnd + 1, shareEnd - serverEnd - 1);
    return true;
}

static void mapShareLocked(const wstring &server, const wstring &share, const char *folder)
{
    auto &shares = state().shares;
    shares.erase(std::remove_if(shares.begin(), shares.end(),
                                [&](const Share &s) {
                                    return names::equalFolded(s.server, server) &&
                                           names::equalFolded(s.share, share);
                                }),
                 shares.end());
    if (folder && *folder)
        shares.push_back(Share{server, share, normalisedFolder(folder)});
}

// Splits "a=b;c=d" at ';' and each item at its first '='.
template <typename Apply>
static void forEachPair(const char *text, Apply apply)
{
    if (!text)
        return;
    std::string all = text;
    size_t begin = 0;
    while (begin <= all.size()) {
        size_t end = std::min(all.find(';', begin), all.size());
        std::string item = all.substr(begin, end - begin);
        size_t equals = item.find('=');
        if (equals != std::string::npos)
            apply(item.substr(0, equals), item.substr(equals + 1));
        begin = end + 1;
    }
}

static void resetLocked()
{
    State &st = state();
    for (std::string &drive : st.drives)
        drive.clear();
    for (wstring &dir : st.driveDirs)
        dir.clear();
    st.shares.clear();
    st.indexes.clear();
    st.fullHook = nullptr;
    st.longHook = nullptr;
    st.drives['Z' - 'A'] = "/";
    forEachPair(std::getenv("WIN32_STANDIN_DRIVES"), [&](const std::string &key, const std::string &folder) {
        char letter = key.size() == 1 ? char(std::toupper(static_cast<unsigned char>(key[0]))) : 0;
        if (letter >= 'A' && letter <= 'Z')
            st.drives[letter - 'A'] = folder.empty() ? std::string() : normalisedFolder(folder.c_str());
    });
    forEachPair(std::getenv("WIN32_STANDIN_SHARES"), [&](const std::string &key, const std::string &folder) {
        wstring server, share;
        if (splitShare(names::fromHost(key), server, share))
            mapShareLocked(server, share, folder.c_str());
    });
    st.ready = true;
    st.cwd = u"C:\\";
    for (int d = 0; d < 26; ++d) {
        if (!st.drives[d].empty()) {
            st.cwd = wstring(1, char16_t(u'A' + d)) + u":\\";
            break;
        }
    }
    const char *start = std::getenv("WIN32_STANDIN_CWD");
    if (start && *start && setCurrentLocked(names::fromHost(start)) == ERROR_SUCCESS)
        return;
    wstring here;
    if (windowsNameLocked(absoluteHostPath("."), here))
        st.cwd = withoutTrailingSeparator(here);
}

// Holds the state's lock, setting the state up on first use.
static std::unique_lock<std::mutex> lockState()
{
    std::unique_lock<std::mutex> lock(state().mutex);
    if (!state().ready)
        resetLocked();
    return lock;
}

WINBASEAPI DWORD WINAPI GetLastError(void) { return lastError; }

WINBASEAPI void WINAPI SetLastError(DWORD dwErrCode) { lastError = dwErrCode; }

WINBASEAPI DWORD WINAPI GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer,
                                         LPWSTR *lpFilePart)
{
    StandinFullPathHook hook;
    {
        auto lock = lockState();
        hook = state().fullHook;
    }
    if (hook)
        return hook(lpFileName, nBufferLength, lpBuffer, lpFilePart);
    size_t length = 0;
    if (!lpFileName || lpFileName[0] == 0)
        return fail(ERROR_INVALID_NAME);
    if (!measure(lpFileName, length))
        return fail(ERROR_FILENAME_EXCED_RANGE);
    wstring full;
    size_t filePart = npos;
    DWORD error;
    {
        auto lock = lockState();
        error = names::fullName(lpFileName, length, contextOf(state()), full, filePart);
    }
    if (error != ERROR_SUCCESS)
        return fail(error);
    DWORD written = deliver(full, lpBuffer, nBufferLength);
    if (written == full.size() && lpFilePart)
        *lpFilePart = filePart == npos ? nullptr : lpBuffer + filePart;
    return written;
}

WINBASEAPI DWORD WINAPI GetLongPathNameW(LPCWSTR lpszShortPath, LPWSTR lpszLongPath, DWORD cchBuffer)
{
    StandinLongPathHook hook;
    {
        auto lock = lockState();
        hook = state().longHook;
    }
    if (hook)
        return hook(lpszShortPath, lpszLongPath, cchBuffer);
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
    if (!lpPathName)
        return fail(ERROR_INVALID_PARAMETER);
    size_t length = 0;
    if (!measure(lpPathName, length))
        return fail(ERROR_FILENAME_EXCED_RANGE);
    auto lock = lockState();
    DWORD error = setCurrentLocked(wstring(lpPathName, length));
    return error == ERROR_SUCCESS ? TRUE : fail(error);
}

STANDIN_API BOOL StandinMapDrive(WCHAR letter, const char *hostFolder)
{
    char16_t upper = names::foldUnit(letter);
    if (upper < u'A' || upper > u'Z')
        return FALSE;
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
    if (upper < u'A' || upper > u'Z')
        return FALSE;
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
    if (!hostPath)
        return fail(ERROR_INVALID_PARAMETER);
    wstring name;
    {
        auto lock = lockState();
        if (!windowsNameLocked(absoluteHostPath(hostPath), name))
            return fail(ERROR_PATH_NOT_FOUND);
    }
    return deliver(name, buffer, capacity);
}

STANDIN_API DWORD StandinHostName(LPCWSTR windowsName, char *buffer, DWORD capacity)
{
    if (!windowsName)
        return fail(ERROR_INVALID_PARAMETER);
    size_t length = 0;
    if (!measure(windowsName, length))
        return fail(ERROR_FILENAME_EXCED_RANGE);
    std::string path;
    {
        auto lock = lockState();
        wstring full, ignored;
        size_t filePart = 0;
        DWORD error = names::fullName(windowsName, length, contextOf(state()), full, filePart);
        Location where;
        size_t at = 0;
        bool literal = false;
        if (error == ERROR_SUCCESS)
            error = startOf(full, where, at, literal);
        if (error == ERROR_SUCCESS)
            error = walk(full, at, literal, where, Form::Host, ignored);
        if (error != ERROR_SUCCESS)
            return fail(error);
        path = hostPath(where);
    }
    return deliver(path, buffer, capacity);
}
