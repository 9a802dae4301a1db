// What the Orlenda benchmarks share: the generated tree of mixed-case long and 8.3 names they resolve
// names in, loading the plug-in, and timing one call or a plain loop of the platform's calls.
#ifndef BENCH_PATHNAME_BENCH_TREE_H
#define BENCH_PATHNAME_BENCH_TREE_H

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "mexhost.h"
#include "support/temp_folder.h"

namespace bench {

using Clock = std::chrono::steady_clock;

struct TreeShape {
    const char *prefix;     // of the temporary folder's name
    const char *below_root; // the folders between the root and the generated ones, '/'-separated; "" for none
    int folders;
    int files_per_folder;
};

// Folders named "Folder With Long Name 00", "Dir01", ... in turn, below `below_root`, each holding the
// same files "MixedCase File 000.Txt", "MxFl001.Txt", ...: a long name, then one of 8.3 form.
struct Tree {
    std::unique_ptr<support::TempFolder> folder; // removed with the tree
    std::filesystem::path host_root;
    std::filesystem::path host_parent; // host_root with below_root: where the folders are
    std::vector<std::string> folders;
    std::vector<std::string> files;
};

// Makes the tree on disk; exits when it cannot.
Tree make_tree(const TreeShape &shape);

std::u16string units(const std::string &ascii);

double seconds_since(Clock::time_point start);
double fastest(const std::vector<double> &values);

// malloc's live bytes.
size_t live_heap();

// The plug-in file, or an exit with the loader's message.
std::unique_ptr<mexhost::Plugin> load_plugin(const char *path);

// One Orlenda call on the cell, as MATLAB makes it (without the stand-in's input checksums); exits
// when the call fails. The result is destroyed outside the timing.
double time_call(mexhost::Plugin &plugin, const mxArray *cell);

// The two calls Orlenda makes for a name: whether they resolved it. Inline, as the loop it is timed in
// stands for the plug-in's own.
inline bool resolve_windows(const std::u16string &name)
{
    static WCHAR buffer[MAX_PATH];
    DWORD len = GetFullPathNameW(name.c_str(), MAX_PATH, buffer, NULL);
    return len > 0 && len < MAX_PATH && GetLongPathNameW(buffer, buffer, MAX_PATH) > 0;
}

struct Timed {
    double seconds;
    size_t resolved; // names for which resolve() was true
};

// resolve(name) for every name in a plain loop.
template <typename Name, typename Resolve>
Timed time_resolving(const std::vector<Name> &names, Resolve resolve)
{
    size_t resolved = 0;
    Clock::time_point start = Clock::now();
    for (const Name &name : names) resolved += resolve(name);
    return Timed{seconds_since(start), resolved};
}

} // namespace bench

#endif
