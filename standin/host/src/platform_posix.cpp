// Plug-in loading for POSIX systems: dlopen, with the program's folder from /proc/self/exe.
#include <dlfcn.h>
#include <unistd.h>

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

#include "platform.h"

namespace mexhost::platform {

const char kPluginExtension[] = ".mexa64";
const char kPathListSeparator = ':';

bool is_folder_separator(char c) { return c == '/'; }

void *open_library(const std::string &path, std::string *error)
{
    // RTLD_LOCAL: every plug-in exports mexFunction, and each must find its own.
    void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library && error) {
        const char *reason = dlerror();
        *error = reason ? reason : "cannot load " + path;
    }
    return library;
}

void *find_symbol(void *library, const char *name) { return dlsym(library, name); }

void close_library(void *library) { dlclose(library); }

std::string executable_folder()
{
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return "";
    std::string path(buffer, static_cast<size_t>(length));
    return path.substr(0, path.find_last_of('/'));
}

std::vector<std::string> arguments(int argc, char **argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

bool is_file(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace mexhost::platform
