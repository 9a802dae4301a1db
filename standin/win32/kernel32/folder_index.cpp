// The per-folder index of the kernel32 stand-in: each host folder's entries keyed by folded and short
// name, cached and revalidated by the folder's identity and times.
#include "kernel32.h"

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

using namespace k32;

static const size_t kIndexCacheLimit = 256;
static const uint32_t kNone = UINT32_MAX;

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
FolderIndex &k32::indexOf(const std::string &folder, const struct stat &info, bool rebuild)
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
const Entry *k32::lookUp(const FolderIndex &index, const wstring &name, const std::string &exact)
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
const FolderIndex *k32::settledIndex(const std::string &folder, const struct stat &info)
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
