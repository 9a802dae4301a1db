// The per-folder index of the kernel32 stand-in: each host folder's entries keyed by folded and short
// name, cached, and kept current by an inotify watch on the folder or else revalidated by the folder's
// identity and times.
#include "kernel32.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <unordered_set>

using namespace k32;

static const size_t kIndexCacheLimit = 256;
static const uint32_t kNone = UINT32_MAX;

static const uint32_t kWatchedEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// File systems whose every change, by any process on this machine, reaches inotify. On others (NFS,
// SMB, FUSE) a change made elsewhere is never reported, so their folders are checked by their times.
static const long kReportingFileSystems[] = {
    0xEF53,     // ext2, ext3, ext4
    0x01021994, // tmpfs
    0x58465342, // xfs
    0x9123683E, // btrfs
    0xF2F52010, // f2fs
    0x794C7630, // overlayfs
};

// A child process shares the parent's inotify instance, and each would take the other's events.
static std::atomic<bool> inheritedNotify{false};

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

static void markInherited() { inheritedNotify = true; }

static bool reportsEveryChange(int fd)
{
    struct statfs info;
    if (fstatfs(fd, &info) != 0) return false;
    for (long type : kReportingFileSystems)
        if (long(info.f_type) == type) return true;
    return false;
}

// Forgets `index` under watch descriptor `wd`, ending the watch when no other index shares it (two
// host paths can lead to one folder).
static void release(int wd, FolderIndex &index)
{
    State &st = state();
    auto it = st.watches.find(wd);
    if (it == st.watches.end()) return;
    auto &sharers = it->second;
    sharers.erase(std::remove(sharers.begin(), sharers.end(), &index), sharers.end());
    if (sharers.empty()) {
        inotify_rm_watch(st.notify, wd);
        st.watches.erase(it);
    }
}

// Watches the folder open as `fd` (the very folder about to be read, whatever its path names by now).
static void watch(int fd, FolderIndex &index)
{
    State &st = state();
    if (st.notify < 0) {
        static std::once_flag atFork;
        std::call_once(atFork, [] { pthread_atfork(nullptr, nullptr, markInherited); });
        st.notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (st.notify < 0) return;
    }
    if (!reportsEveryChange(fd)) return;
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    int wd = inotify_add_watch(st.notify, self, kWatchedEvents);
    if (wd < 0) return;
    auto &sharers = st.watches[wd];
    if (std::find(sharers.begin(), sharers.end(), &index) == sharers.end()) sharers.push_back(&index);
    index.watch = wd;
}

static void buildIndex(const std::string &folder, const struct stat &info, FolderIndex &index)
{
    int previous = index.watch;
    ++state().generation;
    index = FolderIndex();
    index.path = folder;
    index.dev = info.st_dev;
    index.ino = info.st_ino;
    index.mtime = info.st_mtim;
    index.ctime = info.st_ctim;
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat opened;
    // The watch comes before the listing, so any change after the listing is reported.
    if (fd >= 0 && fstat(fd, &opened) == 0 && opened.st_dev == info.st_dev && opened.st_ino == info.st_ino)
        watch(fd, index);
    DIR *dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!dir && fd >= 0) close(fd);
    if (!dir && index.watch >= 0) {
        release(index.watch, index); // an unreadable folder has no listing to keep current
        index.watch = -1;
    }
    if (previous >= 0 && previous != index.watch) release(previous, index);
    index.racy = index.watch < 0 && recentlyChanged(info);
    if (dir) {
        while (const dirent *item = readdir(dir)) {
            if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) continue;
            bool isDir = item->d_type == DT_DIR;
            struct stat target;
            if (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN) // a link to a folder is a folder
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
        entry.ascii = std::all_of(entry.name.begin(), entry.name.end(), [](char16_t c) { return c < 0x80; });
        entry.shortShaped = names::mayBeShortName(entry.name);
        wstring folded = names::fold(entry.name);
        auto last = lastOfFold.find(folded);
        if (last == lastOfFold.end()) {
            index.byName.emplace(folded, i);
            lastOfFold.emplace(std::move(folded), i);
        } else {
            index.sameFold[last->second] = i;
            last->second = i;
        }
        if (names::isLegal83(entry.name)) taken.insert(names::fold(entry.name));
    }
    for (uint32_t i = 0; i < index.entries.size(); ++i) {
        Entry &entry = index.entries[i];
        if (names::isLegal83(entry.name)) continue;
        names::ShortParts parts = names::shortParts(entry.name);
        if (parts.base.size() > 2) {
            for (unsigned n = 1; n <= 4 && entry.shortName.empty(); ++n) {
                wstring candidate = names::shortCandidate(parts.base, n, parts.ext);
                if (taken.insert(candidate).second) entry.shortName = candidate;
            }
        }
        wstring stem = parts.base.substr(0, 2) + names::checksumHex(entry.name);
        for (unsigned n = 1; entry.shortName.empty(); ++n) {
            wstring candidate = names::shortCandidate(stem, n, parts.ext);
            if (taken.insert(candidate).second) entry.shortName = candidate;
        }
        index.byShort.emplace(entry.shortName, i);
    }
}

static bool describes(const FolderIndex &index, const struct stat &info)
{
    return index.dev == info.st_dev && index.ino == info.st_ino && sameTime(index.mtime, info.st_mtim) &&
           sameTime(index.ctime, info.st_ctim);
}

size_t UnitsHash::operator()(const wstring &s) const
{
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(s.data());
    size_t n = s.size() * sizeof(char16_t), i = 0;
    uint64_t hash = n * 0x9E3779B97F4A7C15u;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDu;
        hash ^= hash >> 32;
    }
    uint64_t tail = 0;
    for (; i < n; ++i) tail = (tail << 8) | bytes[i];
    hash = (hash ^ tail) * 0xC4CEB9FE1A85EC53u;
    return size_t(hash ^ (hash >> 29));
}

// The index of a folder, rebuilt when the folder changed since (or when `rebuild` asks).
FolderIndex &k32::indexOf(const std::string &folder, const struct stat &info, bool rebuild)
{
    auto &indexes = state().indexes;
    auto it = indexes.find(folder);
    if (it != indexes.end() && !rebuild && !it->second.stale && describes(it->second, info))
        return it->second;
    if (it == indexes.end()) {
        if (indexes.size() >= kIndexCacheLimit) clearIndexes();
        it = indexes.emplace(folder, FolderIndex()).first;
    }
    buildIndex(folder, info, it->second);
    return it->second;
}

// Whether an entry is spelled exactly as `name`: its on-disk bytes are the name's host bytes. Without
// surrogates a name has one host form, and comparing the units says the same.
static bool spelledAs(const Entry &entry, std::u16string_view name, bool plain, const std::string &exact)
{
    if (!plain) return !exact.empty() && entry.host == exact;
    return entry.name.size() == name.size() &&
           std::memcmp(entry.name.data(), name.data(), name.size() * sizeof(char16_t)) == 0;
}

// The entry a name stands for: the one spelled exactly so (when `exactFirst`), else the first in byte
// order with the name in another case, else the one with that short name.
Entry *k32::lookUp(FolderIndex &index, std::u16string_view name, bool exactFirst, bool *byShort, bool *ascii)
{
    static wstring folded; // kept between calls for its capacity; used under the state's lock
    folded.resize(name.size());
    char16_t *to = &folded[0];
    const char16_t *from = name.data();
    bool plain = true;
    uint64_t high = 0;
    size_t i = 0, n = name.size();
    for (; i + 4 <= n; i += 4) {
        // Four units at once: the case rule for ASCII, lane by lane (a lane of 0x80 or more is
        // caught by `high` and the whole name folded again below).
        uint64_t units;
        std::memcpy(&units, from + i, 8);
        high |= units;
        uint64_t low7 = units & 0x007F007F007F007Fu;
        uint64_t fromA = low7 + 0x001F001F001F001Fu; // 0x80 set in lanes from 'a' up
        uint64_t pastZ = low7 + 0x0005000500050005u; // 0x80 set in lanes past 'z'
        units -= ((fromA & ~pastZ) & 0x0080008000800080u) >> 2;
        std::memcpy(to + i, &units, 8);
    }
    for (; i < n; ++i) {
        char16_t c = from[i];
        high |= c;
        to[i] = char16_t(c - (unsigned(c - u'a') < 26u ? 32 : 0)); // the case rule, for ASCII
    }
    high &= 0xFF80FF80FF80FF80u;
    if (high) {
        for (size_t i = 0; i < name.size(); ++i) {
            to[i] = names::foldUnit(from[i]);
            plain = plain && (from[i] < 0xD800 || from[i] > 0xDFFF);
        }
    }
    if (ascii) *ascii = !high;
    if (byShort) *byShort = false;
    Entry *entries = index.entries.data();
    auto byName = index.byName.find(folded);
    if (byName != index.byName.end()) {
        std::string exact;
        if (exactFirst && !plain && !names::toHost(wstring(name), exact)) exact.clear();
        for (uint32_t i = byName->second; i != kNone && exactFirst; i = index.sameFold[i])
            if (spelledAs(entries[i], name, plain, exact)) return &entries[i];
        return &entries[byName->second];
    }
    static wstring given;
    given.assign(name.data(), name.size());
    if (!names::isLegal83(given)) return nullptr;
    auto shortName = index.byShort.find(folded);
    if (shortName == index.byShort.end()) return nullptr;
    if (byShort) *byShort = true;
    return &entries[shortName->second];
}

// A cached index that answers for the folder as it is now, without asking the file system: one that
// was built after the folder's last change had settled. A racy one is read again once it has.
FolderIndex *k32::settledIndex(const std::string &folder, const struct stat &info)
{
    auto &indexes = state().indexes;
    auto it = indexes.find(folder);
    if (it == indexes.end() || it->second.stale || !describes(it->second, info)) return nullptr;
    if (it->second.racy) {
        if (recentlyChanged(info)) return nullptr;
        buildIndex(folder, info, it->second);
    }
    return &it->second;
}

// The last index asked for by path: the root of most walks. Cleared with the cache.
static FolderIndex *lastAsked = nullptr;

FolderIndex *k32::currentIndex(const std::string &folder)
{
    if (!lastAsked || lastAsked->path != folder) {
        auto &indexes = state().indexes;
        auto it = indexes.find(folder);
        if (it == indexes.end()) return nullptr;
        lastAsked = &it->second;
    }
    return current(*lastAsked) ? lastAsked : nullptr;
}

// The current index of the folder `entry` names in `folder`, remembered in the entry once found.
FolderIndex *k32::currentChild(const FolderIndex &folder, Entry &entry)
{
    if (!entry.isDir) return nullptr;
    if (!entry.child) {
        auto &indexes = state().indexes;
        auto it = indexes.find(joinHost(folder.path, entry.host));
        if (it == indexes.end()) return nullptr;
        entry.child = &it->second;
    }
    return current(*entry.child) ? entry.child : nullptr;
}

// One event: the folder it names changed, and so did the folder of the entry it names, if any (that
// path may now lead elsewhere, while its watch follows the folder that was there).
static void take(const inotify_event &event)
{
    State &st = state();
    auto it = st.watches.find(event.wd);
    if (it == st.watches.end()) return;
    std::vector<FolderIndex *> sharers = it->second;
    ++st.generation;
    for (FolderIndex *index : sharers) {
        index->stale = true;
        if (event.len > 0) {
            auto child = st.indexes.find(joinHost(index->path, event.name));
            if (child != st.indexes.end()) child->second.stale = true;
        }
    }
    if (event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
        // the folder left its path, or the watch ended: the path's next index needs a watch of its own
        for (FolderIndex *index : sharers) index->watch = -1;
        if (!(event.mask & IN_IGNORED)) inotify_rm_watch(st.notify, event.wd);
        st.watches.erase(event.wd);
    }
}

void k32::refreshIndexes()
{
    State &st = state();
    if (st.notify < 0) return;
    if (inheritedNotify.exchange(false)) {
        clearIndexes();
        return;
    }
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    for (;;) {
        ssize_t got = read(st.notify, buffer, sizeof buffer);
        if (got <= 0) return; // EAGAIN: nothing changed
        for (ssize_t at = 0; at < got;) {
            const inotify_event &event = *reinterpret_cast<const inotify_event *>(buffer + at);
            at += sizeof(inotify_event) + event.len;
            if (event.mask & IN_Q_OVERFLOW) {
                clearIndexes(); // events were lost: nothing can be trusted
                return;
            }
            take(event);
        }
        if (size_t(got) + sizeof(inotify_event) + NAME_MAX + 1 <= sizeof buffer)
            return; // there was room for more: the queue is empty
    }
}

void k32::clearIndexes()
{
    State &st = state();
    ++st.generation;
    lastAsked = nullptr;
    st.indexes.clear();
    st.watches.clear();
    if (st.notify >= 0) close(st.notify); // ends every watch at once
    st.notify = -1;
}
