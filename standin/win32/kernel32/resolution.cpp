// Name resolution in the kernel32 stand-in: where a name's components start, each component looked
// up in its folder, the walk along a whole name, and the current directory.
#include "kernel32.h"

#include <algorithm>
#include <cerrno>

using namespace k32;

namespace {

// What a component was found as. The views point into an index entry, the name being walked, or
// `statHost`, and hold until the walk's next component.
struct Found {
    std::string_view host;
    std::u16string_view name;
    std::u16string_view shortName;
    bool isDir = false;
    bool asciiName = false;       // `name` has ASCII units only
    bool asciiGiven = false;      // so has the name looked up (known when found in an index)
    bool nameShortShaped = false; // `name` has the shape of a short name; known when `asciiName`
    bool byShort = false;         // found by its short name
    FolderIndex *child = nullptr; // the entry's own current index, when it has one
    struct stat info {};          // of the entry, when `haveInfo`
    bool haveInfo = false;
    std::string statHost; // host bytes of a name found by stat
    bool ownHost = false; // `host` is `statHost` rather than an index entry's
};

} // namespace

static void foundEntry(const Entry &entry, Found &found)
{
    found.host = entry.host;
    found.name = entry.name;
    found.shortName = entry.shortName;
    found.isDir = entry.isDir;
    found.asciiName = entry.ascii;
    found.asciiGiven = false;
    found.ownHost = false;
    found.nameShortShaped = entry.shortShaped;
    found.byShort = false;
    found.child = nullptr;
    found.haveInfo = false;
}

// Finds `name` in the folder at `where`. A current or settled index answers alone; otherwise a name
// spelled as on disk costs one stat, and any other spelling goes through the folder's index.
static DWORD findEntry(Location &where, std::u16string_view name, bool wantShort, Found &found)
{
    if (where.path.empty()) return ERROR_PATH_NOT_FOUND;
    FolderIndex *index = where.index ? where.index : currentIndex(where.hostPath());
    if (!index || !current(*index)) {
        const std::string &folder = where.hostPath();
        if (!where.known && stat(folder.c_str(), &where.info) != 0) return ERROR_PATH_NOT_FOUND;
        where.known = true;
        if (!S_ISDIR(where.info.st_mode)) return ERROR_PATH_NOT_FOUND;
        index = settledIndex(folder, where.info);
    }
    if (index) {
        bool byShort = false, ascii = false;
        Entry *entry = lookUp(*index, name, true, &byShort, &ascii);
        if (!entry) return ERROR_FILE_NOT_FOUND;
        foundEntry(*entry, found);
        found.byShort = byShort;
        found.asciiGiven = ascii;
        found.child = current(*index) ? currentChild(*index, *entry) : nullptr;
        return ERROR_SUCCESS;
    }
    // Below, indexes may be rebuilt: nothing may still be pending in `where` (it is not, since the
    // folder's path was needed above).
    const std::string &folder = where.hostPath();
    wstring units(name);
    std::string exact;
    bool encodable = names::toHost(units, exact);
    struct stat info;
    if (encodable) {
        if (stat(joinHost(folder, exact).c_str(), &info) == 0) {
            found.statHost = std::move(exact);
            found.host = found.statHost;
            found.ownHost = true;
            found.name = name;
            found.shortName = std::u16string_view();
            found.isDir = S_ISDIR(info.st_mode);
            found.asciiName = false;
            found.byShort = false;
            found.child = nullptr;
            found.info = info;
            found.haveInfo = true;
            if (wantShort && !names::isLegal83(units)) {
                const Entry *entry = lookUp(indexOf(folder, where.info, false), name);
                // not there: created since the index was built, in the same tick
                if (!entry || entry->host != found.host)
                    entry = lookUp(indexOf(folder, where.info, true), name);
                if (entry && entry->host == found.host) found.shortName = entry->shortName;
            }
            return ERROR_SUCCESS;
        }
        if (errno == EACCES) return ERROR_ACCESS_DENIED;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0 && (stat(folder.c_str(), &where.info) != 0 || !S_ISDIR(where.info.st_mode)))
            return ERROR_PATH_NOT_FOUND;
        FolderIndex &built = indexOf(folder, where.info, attempt > 0);
        bool byShort = false;
        Entry *entry = lookUp(built, name, false, &byShort);
        if (entry && stat(joinHost(folder, entry->host).c_str(), &info) == 0) {
            foundEntry(*entry, found);
            found.byShort = byShort;
            found.isDir = S_ISDIR(info.st_mode);
            found.child = current(built) ? currentChild(built, *entry) : nullptr;
            found.info = info;
            found.haveInfo = true;
            return ERROR_SUCCESS;
        }
        if (!entry && !built.racy) break;
    }
    return ERROR_FILE_NOT_FOUND;
}

// The name a component is looked up by: Windows drops trailing dots and spaces of the last component
// and one trailing dot of the others ("a. ." -> "a", "dir." -> "dir", "dir.." stays).
static std::u16string_view lookupName(std::u16string_view name, bool last)
{
    if (last) {
        while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.remove_suffix(1);
    } else if (name.back() == u'.' && !(name.size() >= 2 && name[name.size() - 2] == u'.')) {
        name.remove_suffix(1);
    }
    return name;
}

// Whether the component ending at `end` is the last name, separators aside ("C:\notadir\" too).
static bool lastName(std::u16string_view s, size_t end) { return s.find_first_not_of(u"\\/", end) == s.npos; }

// Whether the component `given` has the shape of a short name (names::mayBeShortName). Found by name,
// an ASCII spelling of an ASCII entry name differs from it in letter case only, which that shape
// ignores: the index knows the answer.
static bool shortShaped(std::u16string_view given, const Found &found, wstring &scratch)
{
    if (found.byShort) return true; // a short name has that shape
    if (found.asciiName && found.asciiGiven && given.size() == found.name.size())
        return found.nameShortShaped;
    return names::mayBeShortName(scratch.assign(given));
}

namespace {

// Where the last name's walk stood after each of its leading folders, so that a name beginning with
// the same folders (most names of a batch do) starts after them. It holds while no index has been
// built, marked stale or dropped since (the state's generation), and only for folders found in a
// current index whose own index was current too: walking them again would read the same entries
// and give the same answers, without a look at the file system either way.
struct Step {
    size_t end;            // offset in the name just past the folder's component
    size_t outSize;        // units of the answer by then
    std::string_view host; // the folder's on-disk name, held by its parent's index
    FolderIndex *index;    // the folder's own index
};

struct Resumable {
    uint64_t generation = 0;
    Form form = Form::Long;
    bool literal = false;
    std::string root; // the drive's or share's host folder
    size_t start = 0; // where the root's components start in the name
    wstring name, out;
    std::vector<Step> steps; // none: nothing to resume from
};

} // namespace

// Resolves the components of `s` from `at` on, moving `where` along and appending each separator and
// component to `out` in the requested form. With `resume`, notes each leading folder it may resume at.
static DWORD walkFrom(std::u16string_view s, size_t at, bool literal, Location &where, Form form,
                      wstring &out, Resumable *resume)
{
    size_t n = s.size();
    bool beyond = false;
    Found found;
    static wstring given83; // kept for its capacity; used under the state's lock
    while (at < n) {
        if (names::isSeparator(s[at])) {
            out += s[at++];
            continue;
        }
        size_t end = at;
        while (end < n && (s[end] > u'\\' || !names::isSeparator(s[end]))) // letters pass at once
            ++end;
        std::u16string_view given = s.substr(at, end - at);
        bool last = end == n;
        at = end;
        if (given == u"." || given == u"..") {
            if (literal) return ERROR_INVALID_NAME; // "\\?\C:\a\..": no such name in the NT namespace
            if (given == u"..") where.up();
            out += given;
            resume = nullptr; // the folders noted no longer lead here
            continue;
        }
        std::u16string_view name = literal ? given : lookupName(given, last);
        if (name.empty()) {
            out += given; // "C:\dir\..." names "C:\dir"
            resume = nullptr;
            continue;
        }
        DWORD error = beyond ? ERROR_FILE_NOT_FOUND : findEntry(where, name, form == Form::Short, found);
        if (error == ERROR_FILE_NOT_FOUND && form == Form::Host) {
            std::string host;
            if (!names::toHost(wstring(name), host)) return ERROR_INVALID_NAME;
            where.enter(host);
            out += given;
            beyond = true; // nothing below a missing component exists either
            continue;
        }
        if (error == ERROR_FILE_NOT_FOUND)
            return lastName(s, end) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        if (error != ERROR_SUCCESS) return error;
        if (!last && !found.isDir) return ERROR_PATH_NOT_FOUND;
        if (found.ownHost)
            where.enter(found.host);
        else
            where.enterIndexed(found.host);
        where.index = found.child;
        if (found.haveInfo) where.info = found.info;
        where.known = found.haveInfo;
        bool asGiven = name.size() == given.size();
        if (form == Form::Long && asGiven && found.name != given && shortShaped(given, found, given83))
            out += found.name;
        else if (form == Form::Short && asGiven && !found.shortName.empty())
            out += found.shortName;
        else
            out += given;
        if (!resume) continue;
        if (last || !found.child || found.haveInfo || found.ownHost) {
            resume = nullptr; // "C:\dir\file": the last name; or a folder not known current
            continue;
        }
        resume->steps.push_back(Step{end, out.size(), found.host, found.child});
    }
    return ERROR_SUCCESS;
}

DWORD k32::walk(std::u16string_view s, size_t at, bool literal, Location &where, Form form, wstring &out)
{
    return walkFrom(s, at, literal, where, form, out, nullptr);
}

// How many leading units `a` and `b` have in common, compared four at a time.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the first unit of a word is its low lane");
static size_t commonPrefix(std::u16string_view a, std::u16string_view b)
{
    size_t i = 0, limit = std::min(a.size(), b.size());
    for (; i + 4 <= limit; i += 4) {
        uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) return i + size_t(__builtin_ctzll(x ^ y)) / 16; // the first differing unit, little-endian
    }
    while (i < limit && a[i] == b[i]) ++i;
    return i;
}

// The last of the noted folders that `s` begins with, as a count of steps (0: none).
static size_t sharedSteps(const Resumable &last, std::u16string_view s)
{
    size_t common = commonPrefix(s, last.name);
    size_t k = last.steps.size();
    while (k > 0 && !(last.steps[k - 1].end < common && names::isSeparator(s[last.steps[k - 1].end]))) --k;
    return k;
}

DWORD k32::walkResuming(std::u16string_view s, size_t at, bool literal, Location &where, Form form,
                        wstring &out)
{
    static Resumable last; // used under the state's lock
    State &st = state();
    bool fromRoot = where.depth == 0 && where.pending.empty() && !where.path.empty();
    size_t shared = 0;
    if (!last.steps.empty() && last.generation == st.generation && last.form == form &&
        last.literal == literal && last.start == at && fromRoot && where.path == last.root)
        shared = sharedSteps(last, s);
    last.steps.resize(shared);
    if (shared > 0) {
        const Step &step = last.steps.back();
        out.assign(last.out, 0, step.outSize);
        for (const Step &folder : last.steps) where.pending.push_back(folder.host);
        where.depth = shared;
        where.index = step.index;
        where.known = false;
        at = step.end;
    } else {
        last.root = where.path;
        last.start = at;
        last.form = form;
        last.literal = literal;
    }
    // Noted under the generation the walk began in: an index built or dropped on the way, which may
    // move the entries the noted names are held in, leaves that behind, and nothing resumes from them.
    last.generation = st.generation;
    DWORD error = walkFrom(s, at, literal, where, form, out, fromRoot ? &last : nullptr);
    if (!last.steps.empty()) {
        last.name.assign(s);
        last.out.assign(out);
    }
    return error;
}

// Where the components of `s` start from, and the offset of the first unit after its root.
DWORD k32::startOf(std::u16string_view s, Location &where, size_t &at, bool &literal)
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
        if (s.size() >= 8 && names::equalFolded(wstring(s.substr(4, 3)), u"UNC") && sep(7))
            return shareAt(s, 8, where, at);
        return ERROR_FILE_NOT_FOUND; // "\\?\pipe\x": no such device here
    }
    if (sep(0) && sep(1)) return shareAt(s, 2, where, at); // "\\server\share\x"
    if (s.size() >= 2 && s[1] == u':') {
        at = 2;
        if (sep(2)) return driveRoot(s[0], where); // "C:\x"
        // "C:x": the drive's own directory
        char16_t letter = names::foldUnit(s[0]);
        const State &st = state();
        if (names::driveOf(st.cwd) == letter) return resolveFull(st.cwd, where);
        if (letter >= u'A' && letter <= u'Z' && !st.driveDirs[letter - u'A'].empty())
            return resolveFull(st.driveDirs[letter - u'A'], where);
        return driveRoot(letter, where);
    }
    at = 0;
    DWORD error = resolveFull(state().cwd, where);
    if (sep(0)) where.toRoot(); // "\x": the current directory's root
    return error;
}

// Location of an existing full name ("C:\dir", "\\server\share\dir").
DWORD k32::resolveFull(std::u16string_view fullName, Location &where)
{
    size_t at = 0;
    bool literal = false;
    DWORD error = startOf(fullName, where, at, literal);
    wstring ignored;
    return error != ERROR_SUCCESS ? error : walk(fullName, at, literal, where, Form::Long, ignored);
}

names::Context k32::contextOf(const State &st) { return names::Context{st.cwd, st.driveDirs}; }

wstring k32::withoutTrailingSeparator(wstring full)
{
    if (full.size() > 3 && full.back() == u'\\') full.pop_back(); // "C:\dir\" -> "C:\dir"; "C:\" stays
    return full;
}

DWORD k32::setCurrentLocked(const wstring &name)
{
    State &st = state();
    wstring full;
    size_t filePart = 0;
    DWORD error = names::fullName(name.data(), name.size(), contextOf(st), full, filePart);
    if (error != ERROR_SUCCESS) return error;
    bool drive = names::driveOf(full) != 0;
    bool unc = full.size() > 2 && full[0] == u'\\' && full[1] == u'\\' && full[2] != u'.' && full[2] != u'?';
    if (!drive && !unc) return ERROR_INVALID_NAME; // "\\.\con"
    refreshIndexes();
    Location where;
    error = resolveFull(full, where);
    if (error != ERROR_SUCCESS) return error;
    struct stat info;
    if (stat(where.hostPath().c_str(), &info) != 0) return ERROR_PATH_NOT_FOUND;
    if (!S_ISDIR(info.st_mode)) return ERROR_DIRECTORY;
    st.cwd = withoutTrailingSeparator(full);
    if (drive) st.driveDirs[names::driveOf(full) - u'A'] = st.cwd;
    return ERROR_SUCCESS;
}
