// The scratch tree the path-walking targets resolve names in, and the path stand-in's state each
// input starts from: C: and the share \\srv\share on the tree, nothing else mapped.
#ifndef FUZZ_PATH_TREE_H
#define FUZZ_PATH_TREE_H

#include <stdlib.h>

#include <standin/paths.h>
#include <windows.h>

#include "fuzz_check.h"
#include "scratch.h"

// Once per process: the tree, with no drive, share or current directory taken from the environment.
inline void make_path_tree()
{
    static const char *const kTree[] = {
        "c/",
        "c/Program Files/",
        "c/Program Files/Data/",
        "c/Program Files/Data/ReadMe.TXT",
        "c/Program Files/Quarterly Report.docx",
        "c/Program Files/Quarterly Report.docm",
        "c/\xc3\x9cn\xc3\xaf"
        "code/",
        "c/a b.c d",
        "s/",
        "s/file.txt",
        "s/Program Files/",
        nullptr,
    };
    for (const char *variable : {"WIN32_STANDIN_DRIVES", "WIN32_STANDIN_SHARES", "WIN32_STANDIN_CWD"})
        unsetenv(variable);
    make_tree(kTree);
}

// Before each input: C:\Program Files current, whatever the input before changed.
inline void reset_paths()
{
    StandinResetPaths();
    StandinMapDrive('Z', nullptr); // the build machine's own / stays out of reach
    StandinMapDrive('C', (scratch_folder() + "/c").c_str());
    StandinMapShare(u"\\\\srv\\share", (scratch_folder() + "/s").c_str());
    FUZZ_REQUIRE(SetCurrentDirectoryW(u"C:\\Program Files"), "cannot enter C:\\Program Files");
}

#endif
