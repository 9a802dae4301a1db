// What Orlenda adds to the path functions it calls: one call on a cell of 100,000 names over a
// generated tree against the same platform calls in a plain loop, its own cost with the platform
// scripted away, and its peak memory.
//
// Usage: orlenda_bench [--names N] [--repeat R]
#include <windows.h>

#include <standin/paths.h>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_tree.h"
#include "mexhost.h"
#include "support/arrays.h"
#include "support/text.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 200;

using support::lower_ascii;
using support::upper_ascii;

} // namespace

static std::u16string windows_name(const fs::path &host)
{
    WCHAR buffer[MAX_PATH];
    DWORD n = StandinWindowsName(host.c_str(), buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        fprintf(stderr, "no Windows name for %s\n", host.c_str());
        exit(1);
    }
    return std::u16string(buffer, n);
}

static std::u16string last_component(const std::u16string &name)
{
    return name.substr(name.find_last_of(u'\\') + 1);
}

static std::u16string short_name(const std::u16string &name)
{
    WCHAR buffer[MAX_PATH];
    DWORD n = GetShortPathNameW(name.c_str(), buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        fprintf(stderr, "no short name (error %u)\n", (unsigned)GetLastError());
        exit(1);
    }
    return std::u16string(buffer, n);
}

namespace {

// The generated tree under its Windows names, with every folder's and file's short name.
struct Tree {
    bench::Tree made;
    std::u16string root; // Windows name of made.host_root
    std::vector<std::u16string> folders;
    std::vector<std::u16string> files;
    std::vector<std::u16string> short_folders;            // by folder
    std::vector<std::vector<std::u16string>> short_files; // by folder, then file
};

} // namespace

static Tree make_tree()
{
    Tree tree;
    tree.made = bench::make_tree({"Orlenda Bench", "", kFolders, kFilesPerFolder});
    tree.root = windows_name(tree.made.host_root);
    for (const std::string &folder : tree.made.folders) tree.folders.push_back(bench::units(folder));
    for (const std::string &file : tree.made.files) tree.files.push_back(bench::units(file));
    for (const std::u16string &folder : tree.folders) {
        std::u16string windows_folder = tree.root + u"\\" + folder;
        tree.short_folders.push_back(last_component(short_name(windows_folder)));
        tree.short_files.emplace_back();
        for (const std::u16string &file : tree.files)
            tree.short_files.back().push_back(last_component(short_name(windows_folder + u"\\" + file)));
    }
    return tree;
}

// Existing names given in capitals with the root, relative names, short names and missing names.
static std::vector<std::u16string> make_names(const Tree &tree, size_t count)
{
    std::vector<std::u16string> names;
    names.reserve(count);
    const std::u16string upper_root = upper_ascii(tree.root);
    for (size_t i = 0; i < count; ++i) {
        size_t f = (i * 7) % kFolders, n = (i * 13) % kFilesPerFolder;
        const std::u16string &folder = tree.folders[f], &file = tree.files[n];
        switch (i % 5) {
        case 0:
        case 1:
            names.push_back(upper_root + u"\\" + upper_ascii(folder) + u"\\" + upper_ascii(file));
            break;
        case 2:
            names.push_back(folder + u"\\" + file);
            break;
        case 3:
            names.push_back(tree.short_folders[f] + u"\\" + tree.short_files[f][n]);
            break;
        default:
            names.push_back(folder + u"\\Missing " + bench::units(std::to_string(i)) + u".txt");
            break;
        }
    }
    return names;
}

// (b): the same platform calls in a plain loop over the names, already lowered.
static double time_loop(const std::vector<std::u16string> &lowered)
{
    bench::Timed loop = bench::time_resolving(lowered, bench::resolve_windows);
    if (loop.resolved == 0) fprintf(stderr, "no name resolved\n");
    return loop.seconds;
}

static double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// ---- the platform answered at once -----------------------------------------------------------

static DWORD scripted_length;

static DWORD instant_full(LPCWSTR name, DWORD capacity, LPWSTR buffer, LPWSTR *)
{
    DWORD n = 0;
    while (name[n] != 0) ++n;
    if (n >= capacity) return n + 1;
    memcpy(buffer, name, (n + 1) * sizeof(WCHAR));
    return scripted_length = n;
}

static DWORD instant_long(LPCWSTR, LPWSTR, DWORD) { return scripted_length; }

// ---- peak memory -----------------------------------------------------------------------------

static size_t peak_heap;

// Samples the heap while each name is at its largest: working copy and full name both alive.
static DWORD sampling_long(LPCWSTR source, LPWSTR destination, DWORD capacity)
{
    peak_heap = std::max(peak_heap, bench::live_heap());
    StandinSetLongPathHook(nullptr);
    DWORD n = GetLongPathNameW(source, destination, capacity);
    StandinSetLongPathHook(sampling_long);
    return n;
}

static long max_rss_kib()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int main(int argc, char **argv)
{
    size_t count = 100000;
    int repeat = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--names"))
            count = strtoul(argv[i + 1], nullptr, 10);
        else if (!strcmp(argv[i], "--repeat"))
            repeat = atoi(argv[i + 1]);
    }

    std::unique_ptr<mexhost::Plugin> plugin = bench::load_plugin(ORLENDA_PLUGIN);

    bench::Clock::time_point start = bench::Clock::now();
    Tree tree = make_tree();
    std::vector<std::u16string> names = make_names(tree, count);
    std::vector<std::u16string> lowered;
    for (const std::u16string &name : names) lowered.push_back(lower_ascii(name));
    mxArray *cell = support::name_cell(names);
    if (!SetCurrentDirectoryW(tree.root.c_str())) {
        fprintf(stderr, "cannot enter the tree\n");
        return 1;
    }
    printf("tree: %d folders of %d files, made in %.1f s; %zu names: 2/5 existing absolute in capitals,\n"
           "  1/5 relative, 1/5 short (8.3) names, 1/5 missing\n",
           kFolders, kFilesPerFolder, bench::seconds_since(start), count);

    time_loop(lowered); // fills the stand-in's folder indexes

    // (d) first, so the process's peak resident size has not been raised by an earlier call.
    {
        mexhost::CallOptions options;
        options.check_inputs = false;
        long rss_before = max_rss_kib();
        size_t before = bench::live_heap();
        peak_heap = before;
        StandinSetLongPathHook(sampling_long);
        mexhost::CallResult result = mexhost::call(*plugin, {cell}, options);
        StandinSetLongPathHook(nullptr);
        size_t after = bench::live_heap();
        if (after == before) printf("(d) malloc keeps no statistics here (a sanitizer's allocator?)\n");
        printf("(d) peak memory of the call (malloc's live bytes, sampled at every GetLongPathNameW):\n"
               "    peak +%zu bytes; the result it returns +%zu bytes (%.1f per name); peak minus result\n"
               "    %+zd bytes; peak resident size +%ld KiB\n",
               peak_heap - before, after - before, (double)(after - before) / count,
               (ssize_t)(peak_heap - after), max_rss_kib() - rss_before);
    }

    std::vector<double> call_times, loop_times;
    for (int r = 0; r < repeat; ++r) {
        call_times.push_back(bench::time_call(*plugin, cell));
        loop_times.push_back(time_loop(lowered));
    }
    // The machine may be shared: the fastest run is the least disturbed one, the median the typical.
    double a = bench::fastest(call_times), b = bench::fastest(loop_times);
    printf("(a) one Orlenda call on the cell:           %8.1f ms  %7.0f ns/name (fastest of %d; median %.1f "
           "ms)\n",
           a * 1e3, a * 1e9 / count, repeat, median(call_times) * 1e3);
    printf("(b) the same platform calls in a loop:      %8.1f ms  %7.0f ns/name (median %.1f ms)\n", b * 1e3,
           b * 1e9 / count, median(loop_times) * 1e3);
    printf("    a/b = %.3f, of the medians %.3f (target <= 1.10)\n", a / b,
           median(call_times) / median(loop_times));

    // (c) names of 30 units, the platform answering at once.
    std::vector<std::u16string> short_names;
    char text[64];
    for (size_t i = 0; i < count; ++i) {
        snprintf(text, sizeof text, "C:\\DATA\\FOLDR%02zu\\FILE%06zu.TXT", i % 100, i % 1000000);
        short_names.push_back(bench::units(text));
    }
    mexhost::destroy(cell);
    cell = support::name_cell(short_names);
    StandinSetFullPathHook(instant_full);
    StandinSetLongPathHook(instant_long);
    std::vector<double> own_times;
    for (int r = 0; r < repeat; ++r) own_times.push_back(bench::time_call(*plugin, cell));
    StandinSetFullPathHook(nullptr);
    StandinSetLongPathHook(nullptr);
    double own = bench::fastest(own_times);
    printf("(c) plug-in and host, platform scripted:    %8.1f ms  %7.1f ns per %zu-unit name (median %.1f ns;"
           " target <= 250)\n",
           own * 1e3, own * 1e9 / count, short_names[0].size(), median(own_times) * 1e9 / count);

    mexhost::destroy(cell);
    return 0;
}
