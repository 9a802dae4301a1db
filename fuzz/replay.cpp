// Runs a fuzz target's body once on each file named, and on each file of each folder named: the
// corpus (seeds and reproducers) as a test, in builds without libFuzzer.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static std::vector<std::string> files_of(const std::string &path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return {};
    if (!S_ISDIR(info.st_mode)) return {path};
    std::vector<std::string> files;
    if (DIR *folder = opendir(path.c_str())) {
        while (dirent *entry = readdir(folder))
            if (entry->d_name[0] != '.') files.push_back(path + "/" + entry->d_name);
        closedir(folder);
    }
    std::sort(files.begin(), files.end()); // the same order on every machine
    return files;
}

int main(int argc, char **argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::string> files = files_of(argv[i]);
        if (files.empty()) {
            std::fprintf(stderr, "%s: no such file, or an empty folder\n", argv[i]);
            return 1;
        }
        for (const std::string &file : files) {
            std::ifstream in(file, std::ios::binary);
            std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::fprintf(stderr, "replay %s (%zu bytes)\n", file.c_str(), data.size());
            LLVMFuzzerTestOneInput(data.data(), data.size());
            ++replayed;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    return replayed > 0 ? 0 : 1;
}
