// What the parts of the kernel32 stand-in share: the state (volumes, folder indexes, current directory)
// and the calls between volumes.cpp, folder_index.cpp, resolution.cpp and paths.cpp. Internal only.
#ifndef STANDIN_KERNEL32_KERNEL32_H
#define STANDIN_KERNEL32_KERNEL32_H

#include "names.h"

#include <standin/paths.h>

#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace k32 {

using names::wstring;

struct Share {
    wstring server, share; // as mapped; compared folded
    std::string folder;
};

struct FolderIndex;

// Hashing and equality of folded names, eight bytes at a time (the standard ones go unit by unit).
struct UnitsHash {
    size_t operator()(const wstring &s) const;
};
struct UnitsEqual {
    bool operator()(const wstring &a, const wstring &b) const
    {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
    }
};

struct Entry {
    std::string host;  // on-disk bytes
    wstring name;      // Windows spelling of the on-disk name
    wstring shortName; // empty when the name is a legal 8.3 name
    bool isDir = false;
    bool ascii = false;           // the name has ASCII units only
    bool shortShaped = false;     // names::mayBeShortName(name)
    FolderIndex *child = nullptr; // this folder's own index, once a walk has gone through it
};

// What one host folder holds, keyed for case-insensitive and short-name lookups. Valid while the
// folder's identity and times are those it was built from; one with a watch on its folder is known
// current until an event marks it stale, and answers without a look at the folder.
struct FolderIndex {
    std::string path;   // the host folder, its key in the cache
    int watch = -1;     // inotify watch descriptor, or -1: revalidated by the folder's times
    bool stale = false; // an event reported a change since it was built
    dev_t dev = 0;
    ino_t ino = 0;
    timespec mtime{}, ctime{};
    bool racy = false;          // built within a second of the folder's last change: a change may be unseen
    std::vector<Entry> entries; // sorted by on-disk bytes
    std::unordered_map<wstring, uint32_t, UnitsHash, UnitsEqual> byName; // folded name -> first entry
                                                                         // in byte order
    std::vector<uint32_t> sameFold;                // next entry with the same folded name, or kNone
    std::unordered_map<wstring, uint32_t> byShort; // short name -> entry
};

struct State {
    std::mutex mutex;
    bool ready = false;
    std::string drives[26]; // host folders, empty when unmapped
    std::vector<Share> shares;
    wstring cwd;
    wstring driveDirs[26];
    std::atomic<StandinFullPathHook> fullHook{nullptr}; // read on every call, without the lock
    std::atomic<StandinLongPathHook> longHook{nullptr};
    std::unordered_map<std::string, FolderIndex> indexes;
    int notify = -1; // the inotify instance watching the indexed folders
    std::unordered_map<int, std::vector<FolderIndex *>> watches; // by watch descriptor
    uint64_t generation = 0; // advanced whenever an index is built, marked stale or dropped
};

// A place in the host file system: the mapped folder of a drive or share and the on-disk names below,
// joined as the walk goes (each ancestor's path is never built again), and only once a path is needed:
// names taken from current indexes wait in `pending` (views into index entries, which stay as they
// are until an index is rebuilt, and hostPath() comes before any rebuild).
struct Location {
    std::string path; // without `pending`; empty: the drive or share is not mapped
    std::vector<std::string_view> pending;
    size_t rootLength = 0;
    size_t depth = 0;             // on-disk names below the root
    FolderIndex *index = nullptr; // the folder's index when known current without a look at the folder
    struct stat info {};          // of the folder itself, when `known`
    bool known = false;

    void at(const std::string &root);
    void enter(std::string_view name);        // a name whose bytes may not last
    void enterIndexed(std::string_view name); // a name held by an index entry
    void up();                                // to the parent, never above the root
    void toRoot();
    const std::string &hostPath();
};

enum class Form { Long, Short, Host };

// volumes.cpp: the drive and share map, set up from the environment.
State &state();
std::unique_lock<std::mutex> lockState(); // holds the state's lock, setting the state up on first use
void resetLocked();
std::string joinHost(const std::string &folder, const std::string &name);
std::string absoluteHostPath(const char *path);
std::string normalisedFolder(const char *folder);
size_t componentEnd(std::u16string_view s, size_t at);
DWORD shareAt(std::u16string_view s, size_t at, Location &where, size_t &end);
DWORD driveRoot(char16_t letter, Location &where);
bool windowsNameLocked(const std::string &path, wstring &name);
bool splitShare(const wstring &root, wstring &server, wstring &share);
void mapShareLocked(const wstring &server, const wstring &share, const char *folder);

// folder_index.cpp: the per-folder index cache and its revalidation.
FolderIndex &indexOf(const std::string &folder, const struct stat &info, bool rebuild);
FolderIndex *settledIndex(const std::string &folder, const struct stat &info);
// The entry `name` stands for; `exactFirst` prefers the one spelled exactly so among those equal in case.
// `byShort` tells whether it was found by its short name, `ascii` whether `name` has ASCII units only.
Entry *lookUp(FolderIndex &index, std::u16string_view name, bool exactFirst = true, bool *byShort = nullptr,
              bool *ascii = nullptr);
// Watched and unchanged: answers without a look at the folder.
inline bool current(const FolderIndex &index) { return index.watch >= 0 && !index.stale; }
FolderIndex *currentIndex(const std::string &folder);
FolderIndex *currentChild(const FolderIndex &folder, Entry &entry);
void refreshIndexes(); // takes in the changes reported since the last call
void clearIndexes();

// resolution.cpp: name lookup, path walking and the current directory.
DWORD startOf(std::u16string_view s, Location &where, size_t &at, bool &literal);
DWORD walk(std::u16string_view s, size_t at, bool literal, Location &where, Form form, wstring &out);
// walk(), resuming where the last name's walk left the leading folders the two names share.
DWORD walkResuming(std::u16string_view s, size_t at, bool literal, Location &where, Form form, wstring &out);
DWORD resolveFull(std::u16string_view fullName, Location &where);
names::Context contextOf(const State &st);
wstring withoutTrailingSeparator(wstring full);
DWORD setCurrentLocked(const wstring &name);

} // namespace k32

#endif
