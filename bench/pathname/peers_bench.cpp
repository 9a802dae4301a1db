// Orlenda through the stand-ins against the peers that resolve the same names, in one run on one
// generated tree (100 folders of 1,000 files, every name five components deep): one Orlenda call on a
// cell of the names, the same two stand-in calls in a plain loop, realpath(3) on the host names and,
// when GNU Octave is installed, Octave's canonicalize_file_name over cellfun. Then the same call from
// 1,000 to 1,000,000 names, for time and memory per name.
//
// Usage: peers_bench [--names N] [--repeat R] [--scale] [--no-octave]
//        peers_bench --callgrind [--names N]   one call only, with callgrind's collection around it:
//            valgrind --tool=callgrind --instr-atstart=no build/default/bin/peers_bench --callgrind
//        peers_bench --mark [--names N]        one call between two getppid() calls, for counting the
//            system calls in between: strace -f -o trace build/default/bin/peers_bench --mark
#include <windows.h>

#include <standin/paths.h>

#include <malloc.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "mexhost.h"
#include "support/arrays.h"
#include "support/temp_folder.h"
#include "support/text.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#define CALLGRIND_ZERO_STATS
#endif

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;
const char kBelowRoot[] = "Projects/Orlenda Bench/Data Set"; // three folders above the hundred

std::u16string units(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

using support::lower_ascii;
using support::upper_ascii;

struct Tree {
    std::unique_ptr<support::TempFolder> folder; // removed with the tree
    fs::path host_root;                          // mapped to C:
    std::vector<std::string> folders;            // the hundred, below kBelowRoot
    std::vector<std::string> files;              // the thousand in each
};

Tree make_tree()
{
    Tree tree;
    tree.folder = std::make_unique<support::TempFolder>("orlenda-peers");
    if (!tree.folder->made()) {
        fprintf(stderr, "cannot make a temporary folder\n");
        exit(1);
    }
    tree.host_root = tree.folder->path();
    fs::create_directories(tree.host_root / kBelowRoot);
    char name[64];
    for (int f = 0; f < kFolders; ++f) {
        snprintf(name, sizeof name, f % 2 ? "Dir%02d" : "Folder With Long Name %02d", f);
        tree.folders.push_back(name);
    }
    for (int i = 0; i < kFilesPerFolder; ++i) {
        snprintf(name, sizeof name, i % 2 ? "MxFl%03d.Txt" : "MixedCase File %03d.Txt", i);
        tree.files.push_back(name);
    }
    for (const std::string &folder : tree.folders) {
        fs::path host_folder = tree.host_root / kBelowRoot / folder;
        fs::create_directory(host_folder);
        for (const std::string &file : tree.files) std::ofstream(host_folder / file);
    }
    return tree;
}

// The i-th file, folder changing fastest: "Data Set/Dir01/MxFl000.Txt" below the root.
std::string relative_name(const Tree &tree, size_t i)
{
    size_t f = i % kFolders, n = (i / kFolders) % kFilesPerFolder;
    return std::string(kBelowRoot) + "/" + tree.folders[f] + "/" + tree.files[n];
}

// Windows names in capitals, as a user might type them: every component is found ignoring case.
std::vector<std::u16string> windows_names(const Tree &tree, size_t count)
{
    std::vector<std::u16string> names;
    names.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        std::u16string name = u"C:\\" + units(relative_name(tree, i));
        std::replace(name.begin(), name.end(), u'/', u'\\');
        names.push_back(upper_ascii(name));
    }
    return names;
}

std::vector<std::string> host_names(const Tree &tree, size_t count)
{
    std::vector<std::string> names;
    names.reserve(count);
    for (size_t i = 0; i < count; ++i)
        names.push_back(tree.host_root.string() + "/" + relative_name(tree, i));
    return names;
}

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double fastest(const std::vector<double> &values) { return *std::min_element(values.begin(), values.end()); }

size_t live_heap()
{
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// One Orlenda call on the cell; the result is destroyed outside the timing.
double time_call(mexhost::Plugin &plugin, const mxArray *cell)
{
    mexhost::CallOptions options;
    options.check_inputs = false; // MATLAB makes no input checksums
    Clock::time_point start = Clock::now();
    mexhost::CallResult result = mexhost::call(plugin, {cell}, options);
    double elapsed = seconds_since(start);
    if (!result.ok) {
        fprintf(stderr, "Orlenda failed: %s %s\n", result.identifier.c_str(), result.message.c_str());
        exit(1);
    }
    return elapsed;
}

// The two calls Orlenda makes, on names already lowered as Orlenda lowers them.
double time_loop(const std::vector<std::u16string> &lowered)
{
    static WCHAR buffer[MAX_PATH];
    size_t resolved = 0;
    Clock::time_point start = Clock::now();
    for (const std::u16string &name : lowered) {
        DWORD len = GetFullPathNameW(name.c_str(), MAX_PATH, buffer, NULL);
        if (len > 0 && len < MAX_PATH && GetLongPathNameW(buffer, buffer, MAX_PATH) > 0) ++resolved;
    }
    double elapsed = seconds_since(start);
    if (resolved != lowered.size()) {
        fprintf(stderr, "only %zu of %zu names resolved\n", resolved, lowered.size());
        exit(1);
    }
    return elapsed;
}

double time_realpath(const std::vector<std::string> &names)
{
    static char buffer[PATH_MAX];
    size_t resolved = 0;
    Clock::time_point start = Clock::now();
    for (const std::string &name : names) resolved += realpath(name.c_str(), buffer) != nullptr;
    double elapsed = seconds_since(start);
    if (resolved != names.size()) {
        fprintf(stderr, "realpath: only %zu of %zu names resolved\n", resolved, names.size());
        exit(1);
    }
    return elapsed;
}

// Octave's own timing of cellfun over the names (tic/toc inside Octave, so its start-up is left
// out), fastest of `repeat`; negative when Octave is not installed.
double time_octave(const std::vector<std::string> &names, const fs::path &folder, int repeat)
{
    if (system("command -v octave-cli >/dev/null 2>&1") != 0) return -1;
    fs::path list = folder / "names.txt", script = folder / "peer.m";
    {
        std::ofstream out(list);
        for (const std::string &name : names) out << name << '\n';
    }
    {
        std::ofstream out(script);
        out << "names = strsplit(fileread('" << list.string() << "'), \"\\n\");\n"
            << "names(end) = [];\n"
            << "best = Inf;\n"
            << "for r = 1:" << repeat << "\n"
            << "  tic; long = cellfun(@canonicalize_file_name, names, 'UniformOutput', false); t = toc;\n"
            << "  best = min(best, t);\n"
            << "end\n"
            << "if any(cellfun(@isempty, long)), error('unresolved'); end\n"
            << "printf('%.9f\\n', best);\n";
    }
    std::string command = "octave-cli --norc --no-history --quiet '" + script.string() + "' 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char line[256];
    double seconds = -1;
    while (fgets(line, sizeof line, pipe)) {
        char *end = nullptr;
        double value = strtod(line, &end);
        if (end != line)
            seconds = value;
        else
            fprintf(stderr, "octave: %s", line);
    }
    pclose(pipe);
    return seconds;
}

void print_row(const char *what, double seconds, size_t count, double orlenda)
{
    printf("  %-46s %9.3f us/name  %6.2f x Orlenda\n", what, seconds * 1e6 / count, seconds / orlenda);
}

} // namespace

int main(int argc, char **argv)
{
    size_t count = 100000;
    int repeat = 5;
    bool callgrind = false, mark = false, scale = false, octave = true;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--names") && i + 1 < argc)
            count = strtoul(argv[++i], nullptr, 10);
        else if (!strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--callgrind"))
            callgrind = true;
        else if (!strcmp(argv[i], "--mark"))
            mark = true;
        else if (!strcmp(argv[i], "--scale"))
            scale = true;
        else if (!strcmp(argv[i], "--no-octave"))
            octave = false;
        else {
            fprintf(stderr, "usage: peers_bench [--names N] [--repeat R] [--scale] [--no-octave]"
                            " [--callgrind | --mark]\n");
            return 2;
        }
    }

    std::string error;
    std::unique_ptr<mexhost::Plugin> plugin = mexhost::Plugin::load(ORLENDA_PLUGIN, &error);
    if (!plugin) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    Clock::time_point start = Clock::now();
    Tree tree = make_tree();
    StandinMapDrive(u'C', tree.host_root.c_str());
    std::vector<std::u16string> names = windows_names(tree, count);
    std::vector<std::u16string> lowered;
    lowered.reserve(count);
    for (const std::u16string &name : names) lowered.push_back(lower_ascii(name));
    mxArray *cell = support::name_cell(names);
    sleep(2); // every folder settled, as a tree is that nobody is writing to
    printf("tree: %d folders of %d files, five components deep, made in %.1f s; %zu names in capitals\n",
           kFolders, kFilesPerFolder, seconds_since(start), count);

    size_t heap_before_index = live_heap();
    time_loop(lowered); // builds the stand-in's folder indexes
    size_t index_bytes = live_heap() - heap_before_index;

    if (callgrind || mark) {
        if (mark) syscall(SYS_getppid);
        CALLGRIND_START_INSTRUMENTATION;
        CALLGRIND_ZERO_STATS;
        time_call(*plugin, cell);
        CALLGRIND_STOP_INSTRUMENTATION;
        if (mark) syscall(SYS_getppid);
    } else {
        std::vector<std::string> host = host_names(tree, count);
        std::vector<double> call_times, loop_times, realpath_times;
        for (int r = 0; r < repeat; ++r) {
            call_times.push_back(time_call(*plugin, cell));
            loop_times.push_back(time_loop(lowered));
            realpath_times.push_back(time_realpath(host));
        }
        double orlenda = fastest(call_times);
        double octave_seconds = octave ? time_octave(host, tree.host_root, repeat) : -1;
        printf("peers, fastest of %d runs each, %zu names:\n", repeat, count);
        print_row("Orlenda, one call on the cell", orlenda, count, orlenda);
        print_row("GetFullPathNameW + GetLongPathNameW loop", fastest(loop_times), count, orlenda);
        print_row("realpath(3) on the host names", fastest(realpath_times), count, orlenda);
        if (octave_seconds > 0)
            print_row("Octave: cellfun(@canonicalize_file_name, ...)", octave_seconds, count, orlenda);
        else
            printf("  (GNU Octave is not installed: no Octave figure)\n");
        printf("folder indexes: %.1f MB for %d folders and %d entries (%.0f bytes per entry)\n",
               index_bytes / 1e6, kFolders + 4, kFolders * (kFilesPerFolder + 1),
               (double)index_bytes / (kFolders * (kFilesPerFolder + 1)));
    }
    mexhost::destroy(cell);

    if (scale) {
        printf("scale (names repeat over the same tree; memory from malloc's live bytes):\n");
        printf("  %9s %10s %14s %16s %14s\n", "names", "us/name", "result B/name", "others B/name",
               "index MB");
        for (size_t n = 1000; n <= 1000000; n *= 10) {
            std::vector<std::u16string> scaled = windows_names(tree, n);
            mxArray *scaled_cell = support::name_cell(scaled);
            std::vector<double> times;
            for (int r = 0; r < std::max(1, repeat / 2); ++r)
                times.push_back(time_call(*plugin, scaled_cell));
            mexhost::CallOptions options;
            options.check_inputs = false;
            size_t before = live_heap();
            mexhost::CallResult result = mexhost::call(*plugin, {scaled_cell}, options);
            size_t with_result = live_heap();
            result = mexhost::CallResult();
            size_t after = live_heap();
            printf("  %9zu %10.3f %14.1f %16.1f %14.1f\n", n, fastest(times) * 1e6 / n,
                   (double)(with_result - after) / n, ((double)after - (double)before) / n,
                   index_bytes / 1e6);
            mexhost::destroy(scaled_cell);
        }
    }

    return 0;
}
