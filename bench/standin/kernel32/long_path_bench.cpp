// GetLongPathNameW over every name of one folder of N mixed-case files, each looked up lower-cased:
// the per-folder index must keep the cost per lookup flat as N grows.
#include <standin/paths.h>
#include <windows.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "support/text.h"

namespace {

struct Folder {
    std::unique_ptr<support::TempFolder> made; // removed at exit
    std::string path;
    std::vector<std::u16string> lowered; // "B:\reportfile_000123_final.txt"
    std::vector<std::u16string> exact;   // "B:\ReportFile_000123_Final.Txt"
};

} // namespace

static std::u16string widen(const std::string &s) { return std::u16string(s.begin(), s.end()); }

// One folder per N, made on first use and removed at exit.
static const Folder &folderOf(int n)
{
    static std::map<int, Folder> folders;
    auto it = folders.find(n);
    if (it != folders.end()) return it->second;
    Folder folder;
    folder.made = std::make_unique<support::TempFolder>("paths-bench");
    if (!folder.made->made()) std::abort();
    folder.path = folder.made->string();
    static const char *const kShapes[] = {"ReportFile_%06d_Final.Txt", "photo %06d OF Summer.JPEG",
                                          "Notes-%06d-draft.Md", "DATA%06dSet.csv"};
    for (int i = 0; i < n; ++i) {
        char file[64];
        std::snprintf(file, sizeof file, kShapes[i % 4], i);
        int fd = open((folder.path + "/" + file).c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0) std::abort();
        close(fd);
        folder.exact.push_back(u"B:\\" + widen(file));
        folder.lowered.push_back(u"B:\\" + widen(support::lower_ascii(std::string(file))));
    }
    sleep(2); // let the folder settle, so its index is trusted without a look at each name
    return folders.emplace(n, std::move(folder)).first->second;
}

static void lookUpAll(benchmark::State &state, bool lowered)
{
    const Folder &folder = folderOf(int(state.range(0)));
    const std::vector<std::u16string> &names = lowered ? folder.lowered : folder.exact;
    StandinMapDrive(u'B', folder.path.c_str());
    WCHAR buffer[MAX_PATH];
    if (GetLongPathNameW(names[0].c_str(), buffer, MAX_PATH) == 0) // builds the folder's index
        state.SkipWithError("lookup failed");
    size_t i = 0;
    for (auto _ : state) {
        DWORD ret = GetLongPathNameW(names[i].c_str(), buffer, MAX_PATH);
        benchmark::DoNotOptimize(ret);
        if (++i == names.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

static void BM_LongNameLowerCased(benchmark::State &state) { lookUpAll(state, true); }
static void BM_LongNameExactCase(benchmark::State &state) { lookUpAll(state, false); }

BENCHMARK(BM_LongNameLowerCased)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_LongNameExactCase)->Arg(1000)->Arg(10000)->Arg(100000);
