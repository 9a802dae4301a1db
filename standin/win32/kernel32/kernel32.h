// What the parts of the kernel32 stand-in share: the state (volumes, folder indexes, current directory)
// and the calls between volumes.cpp, folder_index.cpp, resolution.cpp and paths.cpp. Internal only.
#ifndef STANDIN_KERNEL32_KERNEL32_H
#define STANDIN_KERNEL32_KERNEL32_H

#include "names.h"

#include <standin/paths.h>

#include <sys/stat.h>

#include <ctime>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace k32 {

using names::wstring;

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

enum class Form { Long, Short, Host };

// volumes.cpp: the drive and share map, set up from the environment.
State &state();
std::unique_lock<std::mutex> lockState();  // holds the state's lock, setting the state up on first use
void resetLocked();
std::string joinHost(const std::string &folder, const std::string &name);
std::string hostPath(const Location &where);
std::string absoluteHostPath(const char *path);
std::string normalisedFolder(const char *folder);
size_t componentEnd(const wstring &s, size_t at);
DWORD shareAt(const wstring &s, size_t at, Location &where, size_t &end);
DWORD driveRoot(char16_t letter, Location &where);
bool windowsNameLocked(const std::string &path, wstring &name);
bool splitShare(const wstring &root, wstring &server, wstring &share);
void mapShareLocked(const wstring &server, const wstring &share, const char *folder);

// folder_index.cpp: the per-folder index cache and its revalidation.
FolderIndex &indexOf(const std::string &folder, const struct stat &info, bool rebuild);
const FolderIndex *settledIndex(const std::string &folder, const struct stat &info);
const Entry *lookUp(const FolderIndex &index, const wstring &name, const std::string &exact);

// resolution.cpp: name lookup, path walking and the current directory.
DWORD startOf(const wstring &s, Location &where, size_t &at, bool &literal);
DWORD walk(const wstring &s, size_t at, bool literal, Location &where, Form form, wstring &out);
DWORD resolveFull(const wstring &fullName, Location &where);
names::Context contextOf(const State &st);
wstring withoutTrailingSeparator(wstring full);
DWORD setCurrentLocked(const wstring &name);

}  // namespace k32

#endif
