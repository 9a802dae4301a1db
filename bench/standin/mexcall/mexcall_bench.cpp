// What a batch through mexcall costs: one `mexcall --json Orlenda @FILE` process on a file of
// names over a generated tree, against one Orlenda call on the same cell in process (the cell
// parsed from the same file beforehand), cold (the path stand-in's folders not yet indexed, as in
// a fresh process; each run drops them first) and warm. Also the parsing alone. CPU time (user and
// system) beside wall time, since the build machine is shared: the CPU figures are the ones to
// compare.
//
// Usage: mexcall_bench [--names N] [--repeat R]
#include <windows.h>

#include <sys/resource.h>
#include <time.h>

#include <standin/paths.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "literal.h"
#include "mexhost.h"
#include "support/process.h"
#include "support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFolders = 100;

// Wall and CPU seconds of one measured step.
struct Times {
    double wall = 0, cpu = 0;
};

} // namespace

static double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

static double own_cpu()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

static double children_cpu()
{
    rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

static Times fastest(const std::vector<Times> &runs)
{
    Times best = runs.front();
    for (const Times &run : runs) best = {std::min(best.wall, run.wall), std::min(best.cpu, run.cpu)};
    return best;
}

// kFolders folders of count / kFolders files; the literal names each file in capitals under C:,
// a cell of one name a row, as `sed "s/.*/'&'/"` over a list would make it.
static std::string make_tree(const std::string &root, size_t count)
{
    std::string literal = "{";
    char name[96];
    for (int f = 0; f < kFolders; ++f) {
        std::snprintf(name, sizeof name, "%s/Folder %02d", root.c_str(), f);
        std::filesystem::create_directory(name);
    }
    for (size_t i = 0; i < count; ++i) {
        int f = static_cast<int>(i % kFolders);
        std::snprintf(name, sizeof name, "%s/Folder %02d/Report %06zu.txt", root.c_str(), f, i);
        std::ofstream(std::string(name));
        std::snprintf(name, sizeof name, "'C:\\FOLDER %02d\\REPORT %06zu.TXT'\n", f, i);
        literal += name;
    }
    return literal + "}\n";
}

static mexhost::CallResult call(mexhost::Plugin &plugin, const mxArray *cell)
{
    mexhost::CallOptions options;
    options.check_inputs = false;
    mexhost::CallResult result = mexhost::call(plugin, {cell}, options);
    if (!result.ok) {
        std::fprintf(stderr, "Orlenda failed: %s\n", result.message.c_str());
        std::exit(1);
    }
    return result;
}

int main(int argc, char **argv)
{
    size_t count = 100000;
    int repeat = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--names"))
            count = std::strtoul(argv[i + 1], nullptr, 10);
        else if (!std::strcmp(argv[i], "--repeat"))
            repeat = std::atoi(argv[i + 1]);
    }
    support::TempFolder tree("mexcall-bench");
    std::string literal = make_tree(tree.string(), count);
    std::string file = tree.string() + "/names.lit";
    std::ofstream(file, std::ios::binary) << literal;

    std::string error;
    std::unique_ptr<mexhost::Plugin> plugin = mexhost::Plugin::load(ORLENDA_PLUGIN, &error);
    if (!plugin || !StandinMapDrive(u'C', tree.string().c_str())) {
        std::fprintf(stderr, "cannot set up: %s\n", error.c_str());
        return 1;
    }

    std::vector<Times> parse, cold, warm, process;
    for (int r = 0; r < repeat; ++r) {
        Clock::time_point start = Clock::now();
        double cpu = own_cpu();
        mexcall::LiteralError literal_error;
        mxArray *cell = mexcall::parse_literal(literal, &literal_error);
        parse.push_back({seconds_since(start), own_cpu() - cpu});
        if (!cell) {
            std::fprintf(stderr, "%s\n", literal_error.message.c_str());
            return 1;
        }
        // Cold as in a fresh process: the indexes dropped (and freed) before the clock starts.
        StandinResetPaths();
        StandinMapDrive(u'C', tree.string().c_str());
        for (std::vector<Times> *times : {&cold, &warm}) {
            start = Clock::now();
            cpu = own_cpu();
            {
                mexhost::CallResult result = call(*plugin, cell);
            }
            times->push_back({seconds_since(start), own_cpu() - cpu});
        }
        mexhost::destroy(cell);

        start = Clock::now();
        cpu = children_cpu();
        support::Finished done = support::run_process(MEXCALL_PROGRAM, {"--json", "Orlenda", "@" + file},
                                                      {"WIN32_STANDIN_DRIVES=C=" + tree.string()});
        process.push_back({seconds_since(start), children_cpu() - cpu});
        if (done.status != 0 || done.out.size() < count * 40) {
            std::fprintf(stderr, "mexcall failed (status %d): %s\n", done.status, done.err.c_str());
            return 1;
        }
    }
    // The machine may be shared: the fastest run is the least disturbed one.
    auto show = [&](const char *what, Times t, const Times *against) {
        double n = static_cast<double>(count);
        std::printf("  %-44s %7.0f ns/name wall, %7.0f CPU", what, t.wall * 1e9 / n, t.cpu * 1e9 / n);
        if (against)
            std::printf("   mexcall/this: %.2f wall, %.2f CPU", against->wall / t.wall, against->cpu / t.cpu);
        std::printf("\n");
    };
    Times p = fastest(process);
    std::printf("%zu names in %d folders, fastest of %d runs:\n", count, kFolders, repeat);
    show("mexcall --json Orlenda @FILE, one process", p, nullptr);
    show("Orlenda in process, cold folder indexes", fastest(cold), &p);
    show("Orlenda in process, warm", fastest(warm), &p);
    show("parsing the literal alone, in process", fastest(parse), nullptr);
    return 0;
}
