// The Orlenda benchmarks' generated tree, plug-in loading and timing.
#include "bench_tree.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace bench {

Tree make_tree(const TreeShape &shape)
{
    Tree tree;
    tree.folder = std::make_unique<support::TempFolder>(shape.prefix);
    if (!tree.folder->made()) {
        fprintf(stderr, "cannot make a temporary folder\n");
        exit(1);
    }
    tree.host_root = tree.folder->path();
    tree.host_parent = *shape.below_root ? tree.host_root / shape.below_root : tree.host_root;
    fs::create_directories(tree.host_parent);
    char name[64];
    for (int f = 0; f < shape.folders; ++f) {
        snprintf(name, sizeof name, f % 2 ? "Dir%02d" : "Folder With Long Name %02d", f);
        tree.folders.push_back(name);
    }
    for (int i = 0; i < shape.files_per_folder; ++i) {
        snprintf(name, sizeof name, i % 2 ? "MxFl%03d.Txt" : "MixedCase File %03d.Txt", i);
        tree.files.push_back(name);
    }
    for (const std::string &folder : tree.folders) {
        fs::path host_folder = tree.host_parent / folder;
        fs::create_directory(host_folder);
        for (const std::string &file : tree.files) std::ofstream(host_folder / file);
    }
    return tree;
}

std::u16string units(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

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

std::unique_ptr<mexhost::Plugin> load_plugin(const char *path)
{
    std::string error;
    std::unique_ptr<mexhost::Plugin> plugin = mexhost::Plugin::load(path, &error);
    if (!plugin) {
        fprintf(stderr, "%s\n", error.c_str());
        exit(1);
    }
    return plugin;
}

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

} // namespace bench
