// winpath: shows how the path stand-in resolves names, one line per name with the function's return
// value, the resulting name and the last error.
#include <standin/paths.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "json.h"
#include "utf8.h"

using wstring = std::u16string;

static const DWORD kCapacity = 32768;

static const char kUsage[] =
    "usage: winpath [--json] [--drive X=FOLDER]... [--share \\\\server\\share=FOLDER]...\n"
    "               [--cwd WINDOWS_DIR] full|long|short NAME...\n";

static DWORD callMode(const std::string &mode, const wstring &name, std::vector<WCHAR> &buffer)
{
    if (mode == "full")
        return GetFullPathNameW(name.c_str(), kCapacity, buffer.data(), nullptr);
    if (mode == "long")
        return GetLongPathNameW(name.c_str(), buffer.data(), kCapacity);
    return GetShortPathNameW(name.c_str(), buffer.data(), kCapacity);
}

// "X=FOLDER" split at the first '='.
static bool splitMapping(const char *argument, std::string &key, std::string &folder)
{
    const char *equals = std::strchr(argument, '=');
    if (!equals)
        return false;
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
        if (option == "--json") {
            json = true;
        } else if (option == "--drive" && i + 1 < argc && splitMapping(argv[i + 1], key, folder) &&
                   key.size() == 1 && StandinMapDrive(WCHAR(key[0]), folder.c_str())) {
            ++i;
        } else if (option == "--share" && i + 1 < argc && splitMapping(argv[i + 1], key, folder) &&
                   StandinMapShare(text::utf16_from_bytes(key).c_str(), folder.c_str())) {
            ++i;
        } else if (option == "--cwd" && i + 1 < argc) {
            if (!SetCurrentDirectoryW(text::utf16_from_bytes(argv[++i]).c_str())) {
                std::fprintf(stderr, "winpath: cannot set the current directory to %s (error %u)\n", argv[i],
                             unsigned(GetLastError()));
                return 2;
            }
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (i + 1 >= argc) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string mode = argv[i++];
    if (mode != "full" && mode != "long" && mode != "short") {
        std::fputs(kUsage, stderr);
        return 2;
    }
    int status = 0;
    std::vector<WCHAR> buffer(kCapacity);
    for (; i < argc; ++i) {
        SetLastError(ERROR_SUCCESS);
        DWORD ret = callMode(mode, text::utf16_from_bytes(argv[i]), buffer);
        DWORD error = GetLastError();
        wstring result = ret > 0 && ret < kCapacity ? wstring(buffer.data(), ret) : wstring();
        if (ret == 0)
            status = 1;
        if (json)
            std::printf("{\"ret\":%u,\"name\":%s,\"error\":%u}\n", unsigned(ret), text::json_string(result).c_str(),
                        unsigned(error));
        else
            std::printf("%u\t%s\t%u\n", unsigned(ret), text::utf8_from_utf16(result).c_str(), unsigned(error));
    }
    return status;
}
