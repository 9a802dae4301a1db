// The volumes of the kernel32 stand-in: drive letters and UNC shares mapped to host folders, set up
// from the environment, and the host paths they lead to.
#include "kernel32.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

using namespace k32;

State &k32::state()
{
    // Never destroyed: freeing the indexes of a big batch at exit would cost about as much as
    // building them, and the end of the process reclaims them at once.
    static State &instance = *new State;
    return instance;
}

std::string k32::joinHost(const std::string &folder, const std::string &name)
{
    return folder.back() == '/' ? folder + name : folder + '/' + name;
}

void k32::Location::at(const std::string &root)
{
    path.assign(root); // keeps the buffer of a Location used before
    pending.clear();
    rootLength = root.size();
    depth = 0;
    index = nullptr;
    known = false;
}

void k32::Location::enter(std::string_view name)
{
    hostPath();
    if (path.back() != '/') path += '/';
    path += name;
    ++depth;
    index = nullptr;
    known = false;
}

void k32::Location::enterIndexed(std::string_view name)
{
    pending.push_back(name);
    ++depth;
    index = nullptr;
    known = false;
}

const std::string &k32::Location::hostPath()
{
    for (std::string_view name : pending) {
        if (path.back() != '/') path += '/';
        path += name;
    }
    pending.clear();
    return path;
}

void k32::Location::up()
{
    if (depth == 0) return;
    if (!pending.empty()) {
        pending.pop_back();
        --depth;
        index = nullptr;
        known = false;
        return;
    }
    size_t slash = path.rfind('/');
    path.resize(std::max(slash, rootLength)); // "/a/b" -> "/a"; "/a" below root "/" -> "/"
    --depth;
    index = nullptr;
    known = false;
}

void k32::Location::toRoot()
{
    pending.clear();
    path.resize(rootLength);
    depth = 0;
    index = nullptr;
    known = false;
}

// "/a/./b//c/../" -> "/a/b"; relative paths are taken from the process's current folder.
std::string k32::absoluteHostPath(const char *path)
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
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        begin = end + 1;
    }
    std::string result;
    for (const std::string &part : parts) result += '/' + part;
    return result.empty() ? "/" : result;
}

size_t k32::componentEnd(std::u16string_view s, size_t at)
{
    while (at < s.size() && !names::isSeparator(s[at])) ++at;
    return at;
}

// The mapped folder of "\\server\share" starting at `at`; `end` is set past the share name.
DWORD k32::shareAt(std::u16string_view s, size_t at, Location &where, size_t &end)
{
    size_t serverEnd = componentEnd(s, at);
    wstring server(s.substr(at, serverEnd - at));
    size_t shareEnd = serverEnd < s.size() ? componentEnd(s, serverEnd + 1) : serverEnd;
    wstring share;
    if (serverEnd < s.size()) share = s.substr(serverEnd + 1, shareEnd - serverEnd - 1);
    bool knownServer = false;
    for (const Share &mapped : state().shares) {
        if (!names::equalFolded(mapped.server, server)) continue;
        knownServer = true;
        if (names::equalFolded(mapped.share, share)) {
            where.at(mapped.folder);
            end = shareEnd;
            return ERROR_SUCCESS;
        }
    }
    return knownServer ? ERROR_BAD_NET_NAME : ERROR_BAD_NETPATH;
}

DWORD k32::driveRoot(char16_t letter, Location &where)
{
    char16_t upper = names::foldUnit(letter);
    if (upper < u'A' || upper > u'Z' || state().drives[upper - u'A'].empty()) return ERROR_PATH_NOT_FOUND;
    where.at(state().drives[upper - u'A']);
    return ERROR_SUCCESS;
}

// The Windows name of an absolute, normalised host path: the mapping with the longest folder wins.
bool k32::windowsNameLocked(const std::string &path, wstring &name)
{
    const State &st = state();
    size_t best = 0;
    bool found = false;
    auto covers = [&](const std::string &folder) {
        if (folder.empty()) return false;
        if (folder == "/") return true;
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

std::string k32::normalisedFolder(const char *folder) { return absoluteHostPath(folder); }

// "\\server\share" (either separator, optional trailing one) into its two names.
bool k32::splitShare(const wstring &root, wstring &server, wstring &share)
{
    if (root.size() < 5 || !names::isSeparator(root[0]) || !names::isSeparator(root[1])) return false;
    size_t serverEnd = componentEnd(root, 2);
    if (serverEnd == 2 || serverEnd >= root.size()) return false;
    size_t shareEnd = componentEnd(root, serverEnd + 1);
    if (shareEnd == serverEnd + 1 || (shareEnd < root.size() && shareEnd + 1 != root.size())) return false;
    server = root.substr(2, serverEnd - 2);
    share = root.substr(serverEnd + 1, shareEnd - serverEnd - 1);
    return true;
}

void k32::mapShareLocked(const wstring &server, const wstring &share, const char *folder)
{
    auto &shares = state().shares;
    shares.erase(std::remove_if(shares.begin(), shares.end(),
                                [&](const Share &s) {
                                    return names::equalFolded(s.server, server) &&
                                           names::equalFolded(s.share, share);
                                }),
                 shares.end());
    if (folder && *folder) shares.push_back(Share{server, share, normalisedFolder(folder)});
}

// Splits "a=b;c=d" at ';' and each item at its first '='.
template <typename Apply> static void forEachPair(const char *text, Apply apply)
{
    if (!text) return;
    std::string all = text;
    size_t begin = 0;
    while (begin <= all.size()) {
        size_t end = std::min(all.find(';', begin), all.size());
        std::string item = all.substr(begin, end - begin);
        size_t equals = item.find('=');
        if (equals != std::string::npos) apply(item.substr(0, equals), item.substr(equals + 1));
        begin = end + 1;
    }
}

void k32::resetLocked()
{
    State &st = state();
    for (std::string &drive : st.drives) drive.clear();
    for (wstring &dir : st.driveDirs) dir.clear();
    st.shares.clear();
    clearIndexes();
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
        if (splitShare(names::fromHost(key), server, share)) mapShareLocked(server, share, folder.c_str());
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
    if (start && *start && setCurrentLocked(names::fromHost(start)) == ERROR_SUCCESS) return;
    wstring here;
    if (windowsNameLocked(absoluteHostPath("."), here)) st.cwd = withoutTrailingSeparator(here);
}

// Holds the state's lock, setting the state up on first use.
std::unique_lock<std::mutex> k32::lockState()
{
    std::unique_lock<std::mutex> lock(state().mutex);
    if (!state().ready) resetLocked();
    return lock;
}
