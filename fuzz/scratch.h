// A scratch folder per fuzzing process (under TMPDIR, removed at exit) for the file trees the path
// targets walk and the registry stores they write.
#ifndef FUZZ_SCRATCH_H
#define FUZZ_SCRATCH_H

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "fuzz_check.h"

inline int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return ::remove(path);
}

inline const std::string &scratch_folder()
{
    static const std::string folder = [] {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz-XXXXXX";
        FUZZ_REQUIRE(mkdtemp(&pattern[0]) != nullptr, "cannot make a scratch folder from %s", pattern.c_str());
        return pattern;
    }();
    static const bool removed_at_exit = [] {
        std::atexit([] { nftw(folder.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); });
        return true;
    }();
    (void)removed_at_exit;
    return folder;
}

// Folders and empty files below the scratch folder; a path ending in '/' is a folder.
inline void make_tree(const char *const *paths)
{
    for (; *paths; ++paths) {
        std::string path = scratch_folder() + "/" + *paths;
        if (path.back() == '/') {
            FUZZ_REQUIRE(mkdir(path.c_str(), 0755) == 0, "mkdir %s", path.c_str());
        } else {
            int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
            FUZZ_REQUIRE(fd >= 0, "create %s", path.c_str());
            close(fd);
        }
    }
}

#endif
