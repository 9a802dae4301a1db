// What differs between POSIX and Windows for the host: loading plug-in files and finding the
// running program. One small file per platform implements it.
#ifndef MEXHOST_PLATFORM_H
#define MEXHOST_PLATFORM_H

#include <string>
#include <vector>

namespace mexhost::platform {

// Null with a message in *error when the library cannot be loaded.
void *open_library(const std::string &path, std::string *error);
void *find_symbol(void *library, const char *name);
void close_library(void *library);

// The folder holding the running program, without a trailing separator; "" when unknown.
std::string executable_folder();

// The program's arguments in UTF-8, and an environment variable's value ("" when unset).
std::vector<std::string> arguments(int argc, char **argv);
std::string environment(const char *name);
bool is_file(const std::string &path);

extern const char kPluginExtension[]; // ".mexa64" / ".mexw64"
extern const char kPathListSeparator; // ':' / ';'
bool is_folder_separator(char c);     // '/' (and '\\' on Windows)

} // namespace mexhost::platform

#endif
