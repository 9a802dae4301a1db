// registry_writer PREFIX COUNT [PLUGIN]: writes COUNT REG_DWORD values PREFIX0, PREFIX1, ... (value i)
// under HKCU\Software\Writers, and prints each name once the write was reported done. Without
// PLUGIN each write is the registry work tessaly does (create, set, close); with PLUGIN (the
// tessaly file) each write is a tessaly call through the stand-in host. Used by the multi-process
// tests.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <windows.h>

#include <memory>
#include <string>

#include "mexhost.h"

static bool write_directly(const std::string &name, DWORD value)
{
    HKEY key;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Writers", 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, NULL, &key, NULL);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, (const BYTE *)&value, sizeof value);
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) fprintf(stderr, "%s: status %ld\n", name.c_str(), (long)status);
    return status == ERROR_SUCCESS;
}

static mxArray *text(const std::string &value)
{
    return mexhost::make_char(std::u16string(value.begin(), value.end()));
}

static bool write_through(mexhost::Plugin &tessaly, const std::string &name, DWORD value)
{
    mxArray *inputs[] = {text("HKCU"), text("Software\\Writers"), text(name), mexhost::make_uint32({value})};
    mexhost::CallOptions options;
    options.nlhs = 0;
    mexhost::CallResult result =
        mexhost::call(tessaly, {inputs[0], inputs[1], inputs[2], inputs[3]}, options);
    for (mxArray *input : inputs) mexhost::destroy(input);
    if (!result.ok) fprintf(stderr, "%s: %s\n", name.c_str(), result.message.c_str());
    return result.ok;
}

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        fputs("usage: registry_writer PREFIX COUNT [PLUGIN]\n", stderr);
        return 2;
    }
    std::unique_ptr<mexhost::Plugin> tessaly;
    if (argc == 4) {
        std::string error;
        tessaly = mexhost::Plugin::load(argv[3], &error);
        if (!tessaly) {
            fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
    }
    long count = atol(argv[2]);
    for (long i = 0; i < count; ++i) {
        std::string name = argv[1] + std::to_string(i);
        bool written = tessaly ? write_through(*tessaly, name, (DWORD)i) : write_directly(name, (DWORD)i);
        if (!written) return 1;
        // One write(2) per line, so a killed writer leaves only whole lines of names it saw written.
        name += '\n';
        if (write(1, name.data(), name.size()) != (ssize_t)name.size()) return 1;
    }
    return 0;
}
