// winpath: shows how the path stand-in resolves names, one line per name with the function's return
// value, the resulting name and the last error.
#include <standin/errors.h>
#include <standin/paths.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "json.h"
#include "utf8.h"

namespace {

using wstring = std::u16string;

} // namespace

static const DWORD kCapacity = 32768;

static const char kUsage[] =
    "usage: winpath [--json] [--drive X=FOLDER]... [--share \\\\server\\share=FOLDER]...\n"
    "               [--cwd WINDOWS_DIR] full|long|short NAME...\n";

static const char kHelp[] =
    "\n"
    "Calls the path stand-in's GetFullPathNameW (full), GetLongPathNameW (long) or\n"
    "GetShortPathNameW (short) on each NAME and prints one line per name: the return value,\n"
    "the resulting name and the last error with its name, separated by tabs.\n"
    "\n"
    "  --drive X=FOLDER     map drive X: to a host folder (as WIN32_STANDIN_DRIVES does)\n"
    "  --share \\\\S\\N=FOLDER  map the share \\\\S\\N to a host folder (as WIN32_STANDIN_SHARES)\n"
    "  --cwd WINDOWS_DIR    the current directory for relative names (as WIN32_STANDIN_CWD)\n"
    "  --json               one JSON object per name: {\"ret\":N,\"name\":\"...\",\"error\":N}\n"
    "\n"
    "Examples:\n"
    "  $ winpath --drive C=/tmp --cwd 'C:\\' full 'Data\\..\\notes.txt'\n"
    "  12\tC:\\notes.txt\t0 ERROR_SUCCESS\n"
    "  $ winpath --drive C=/tmp long 'C:\\no such file'\n"
    "  0\t\t2 ERROR_FILE_NOT_FOUND\n"
    "\n"
    "Exit status: 0 every call succeeded, 1 a call returned 0, 2 a bad command line.\n";

// A bad command line: what is wrong, then the usage.
static int usageError(const std::string &problem)
{
    std::fprintf(stderr, "winpath: %s\n%s(winpath --help explains more)\n", problem.c_str(), kUsage);
    return 2;
}

// "2 ERROR_FILE_NOT_FOUND", or the number alone for a code without a name.
static std::string namedError(DWORD error)
{
    std::string number = std::to_string(error);
    const char *name = StandinErrorName(error);
    return *name ? number + " " + name : number;
}

static DWORD callMode(const std::string &mode, const wstring &name, std::vector<WCHAR> &buffer)
{
    if (mode == "full") return GetFullPathNameW(name.c_str(), kCapacity, buffer.data(), nullptr);
    if (mode == "long") return GetLongPathNameW(name.c_str(), buffer.data(), kCapacity);
    return GetShortPathNameW(name.c_str(), buffer.data(), kCapacity);
}

// "X=FOLDER" split at the first '='.
static bool splitMapping(const char *argument, std::string &key, std::string &folder)
{
    const char *equals = std::strchr(argument, '=');
    if (!equals) return false;
    key.assign(argument, equals);
    folder = equals + 1;
    return true;
}

int main(int argc, char **argv)
{
    bool json = false;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        std::string option = argv[i];
        std::string key, folder;
        if (option == "--help") {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return 0;
        } else if (option == "--json") {
            json = true;
        } else if (option == "--drive" && i + 1 < argc && splitMapping(argv[i + 1], key, folder) &&
                   key.size() == 1 && StandinMapDrive(WCHAR(key[0]), folder.c_str())) {
            ++i;
        } else if (option == "--share" && i + 1 < argc && splitMapping(argv[i + 1], key, folder) &&
                   StandinMapShare(text::utf16_from_bytes(key).c_str(), folder.c_str())) {
            ++i;
        } else if (option == "--cwd" && i + 1 < argc) {
            if (!SetCurrentDirectoryW(text::utf16_from_bytes(argv[++i]).c_str())) {
                std::fprintf(stderr, "winpath: cannot set the current directory to %s (error %s)\n", argv[i],
                             namedError(GetLastError()).c_str());
                return 2;
            }
        } else if (option == "--drive" || option == "--share" || option == "--cwd") {
            return usageError(option + " needs a valid argument");
        } else {
            return usageError("unknown option " + option);
        }
    }
    if (i >= argc) return usageError("no mode given (full, long or short)");
    std::string mode = argv[i++];
    if (mode != "full" && mode != "long" && mode != "short")
        return usageError("unknown mode " + mode + " (full, long or short)");
    if (i >= argc) return usageError("no NAME given");
    int status = 0;
    std::vector<WCHAR> buffer(kCapacity);
    for (; i < argc; ++i) {
        SetLastError(ERROR_SUCCESS);
        DWORD ret = callMode(mode, text::utf16_from_bytes(argv[i]), buffer);
        DWORD error = GetLastError();
        wstring result = ret > 0 && ret < kCapacity ? wstring(buffer.data(), ret) : wstring();
        if (ret == 0) status = 1;
        if (json)
            std::printf("{\"ret\":%u,\"name\":%s,\"error\":%u}\n", unsigned(ret),
                        text::json_string(result).c_str(), unsigned(error));
        else
            std::printf("%u\t%s\t%s\n", unsigned(ret), text::utf8_from_utf16(result).c_str(),
                        namedError(error).c_str());
    }
    return status;
}
