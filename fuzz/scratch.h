// A scratch folder per fuzzing process (removed at exit) for the file trees the path targets walk
// and the registry stores they write.
#ifndef FUZZ_SCRATCH_H
#define FUZZ_SCRATCH_H

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fuzz_check.h"
#include "support/temp_folder.h"

inline const std::string &scratch_folder()
{
    static support::TempFolder folder("fuzz");
    static const std::string path = folder.string();
    FUZZ_REQUIRE(folder.made(), "cannot make a scratch folder");
    return path;
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
