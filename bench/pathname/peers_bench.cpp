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

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_tree.h"
#include "mexhost.h"
#include "support/arrays.h"
#include "support/process.h"
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

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;
const char kBelowRoot[] = "Projects/Orlenda Bench/Data Set"; // three folders above the hundred

using support::lower_ascii;
using support::upper_ascii;

using Tree = bench::Tree; // host_root is mapped to C:

} // namespace

// The i-th file, folder changing fastest: "Data Set/Dir01/MxFl000.Txt" below the root.
static std::string relative_name(const Tree &tree, size_t i)
{
    size_t f = i % kFolders, n = (i / kFolders) % kFilesPerFolder;
    return std::string(kBelowRoot) + "/" + tree.folders[f] + "/" + tree.files[n];
}

// Windows names in capitals, as a user might type them: every component is found ignoring case.
static std::vector<std::u16string> windows_names(const Tree &tree, size_t count)
{
    std::vector<std::u16string> names;
    names.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        std::u16string name = u"C:\\" + bench::units(relative_name(tree, i));
        std::replace(name.begin(), name.end(), u'/', u'\\');
        names.push_back(upper_ascii(name));
    }
    return names;
}

static std::vector<std::string> host_names(const Tree &tree, size_t count)
{
    std::vector<std::string> names;
    names.reserve(count);
    for (size_t i = 0; i < count; ++i)
        names.push_back(tree.host_root.string() + "/" + relative_name(tree, i));
    return names;
}

// The two calls Orlenda makes, on names already lowered as Orlenda lowers them.
static double time_loop(const std::vector<std::u16string> &lowered)
{
    bench::Timed loop = bench::time_resolving(lowered, bench::resolve_windows);
    if (loop.resolved != lowered.size()) {
        fprintf(stderr, "only %zu of %zu names resolved\n", loop.resolved, lowered.size());
        exit(1);
    }
    return loop.seconds;
}

static double time_realpath(const std::vector<std::string> &names)
{
    bench::Timed loop = bench::time_resolving(names, [](const std::string &name) {
        static char buffer[PATH_MAX];
        return realpath(name.c_str(), buffer) != nullptr;
    });
    if (loop.resolved != names.size()) {
        fprintf(stderr, "realpath: only %zu of %zu names resolved\n", loop.resolved, names.size());
        exit(1);
    }
    return loop.seconds;
}

// Octave's own timing of cellfun over the names (tic/toc inside Octave, so its start-up is left
// out), fastest of `repeat`; negative when the build found no octave-cli.
static double time_octave(const std::vector<std::string> &names, const fs::path &folder, int repeat)
{
    if (OCTAVE_CLI[0] == '\0') return -1;
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
    support::Finished done = support::run_process(
        OCTAVE_CLI, {"--norc", "--no-history", "--quiet", script.string()}, {}, support::Streams::Merged);
    double seconds = -1;
    std::istringstream lines(done.out);
    for (std::string line; std::getline(lines, line);) {
        char *end = nullptr;
        double value = strtod(line.c_str(), &end);
        if (end != line.c_str())
            seconds = value;
        else
            fprintf(stderr, "octave: %s\n", line.c_str());
    }
    return seconds;
}

static void print_row(const char *what, double seconds, size_t count, double orlenda)
{
    printf("  %-46s %9.3f us/name  %6.2f x Orlenda\n", what, seconds * 1e6 / count, seconds / orlenda);
}

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

    std::unique_ptr<mexhost::Plugin> plugin = bench::load_plugin(ORLENDA_PLUGIN);
    bench::Clock::time_point start = bench::Clock::now();
    Tree tree = bench::make_tree({"orlenda-peers", kBelowRoot, kFolders, kFilesPerFolder});
    StandinMapDrive(u'C', tree.host_root.c_str());
    std::vector<std::u16string> names = windows_names(tree, count);
    std::vector<std::u16string> lowered;
    lowered.reserve(count);
    for (const std::u16string &name : names) lowered.push_back(lower_ascii(name));
    mxArray *cell = support::name_cell(names);
    sleep(2); // every folder settled, as a tree is that nobody is writing to
    printf("tree: %d folders of %d files, five components deep, made in %.1f s; %zu names in capitals\n",
           kFolders, kFilesPerFolder, bench::seconds_since(start), count);

    size_t heap_before_index = bench::live_heap();
    time_loop(lowered); // builds the stand-in's folder indexes
    size_t index_bytes = bench::live_heap() - heap_before_index;

    if (callgrind || mark) {
        if (mark) syscall(SYS_getppid);
        CALLGRIND_START_INSTRUMENTATION;
        CALLGRIND_ZERO_STATS;
        bench::time_call(*plugin, cell);
        CALLGRIND_STOP_INSTRUMENTATION;
        if (mark) syscall(SYS_getppid);
    } else {
        std::vector<std::string> host = host_names(tree, count);
        std::vector<double> call_times, loop_times, realpath_times;
        for (int r = 0; r < repeat; ++r) {
            call_times.push_back(bench::time_call(*plugin, cell));
            loop_times.push_back(time_loop(lowered));
            realpath_times.push_back(time_realpath(host));
        }
        double orlenda = bench::fastest(call_times);
        double octave_seconds = octave ? time_octave(host, tree.host_root, repeat) : -1;
        printf("peers, fastest of %d runs each, %zu names:\n", repeat, count);
        print_row("Orlenda, one call on the cell", orlenda, count, orlenda);
        print_row("GetFullPathNameW + GetLongPathNameW loop", bench::fastest(loop_times), count, orlenda);
        print_row("realpath(3) on the host names", bench::fastest(realpath_times), count, orlenda);
        if (octave_seconds > 0)
            print_row("Octave: cellfun(@canonicalize_file_name, ...)", octave_seconds, count, orlenda);
        else if (octave)
            printf("  (the build found no octave-cli: no Octave figure)\n");
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
                times.push_back(bench::time_call(*plugin, scaled_cell));
            mexhost::CallOptions options;
            options.check_inputs = false;
            size_t before = bench::live_heap();
            mexhost::CallResult result = mexhost::call(*plugin, {scaled_cell}, options);
            size_t with_result = bench::live_heap();
            result = mexhost::CallResult();
            size_t after = bench::live_heap();
            printf("  %9zu %10.3f %14.1f %16.1f %14.1f\n", n, bench::fastest(times) * 1e6 / n,
                   (double)(with_result - after) / n, ((double)after - (double)before) / n,
                   index_bytes / 1e6);
            mexhost::destroy(scaled_cell);
        }
    }

    return 0;
}
