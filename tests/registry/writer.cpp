// registry_writer PREFIX COUNT: writes COUNT REG_DWORD values PREFIX0, PREFIX1, ... (value i) under
// HKCU\Software\Writers, each as tessaly does (create, set, close), and prints each name once the
// stand-in reported it written. Used by the multi-process tests.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <windows.h>

#include <string>

int main(int argc, char **argv)
{
    if (argc != 3) {
        fputs("usage: registry_writer PREFIX COUNT\n", stderr);
        return 2;
    }
    long count = atol(argv[2]);
    for (long i = 0; i < count; ++i) {
        std::string name = argv[1] + std::to_string(i);
        DWORD value = (DWORD)i;
        HKEY key;
        LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Writers", 0, NULL, REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, NULL, &key, NULL);
        if (status == ERROR_SUCCESS) {
            status = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, (const BYTE *)&value, sizeof value);
            RegCloseKey(key);
        }
        if (status != ERROR_SUCCESS) {
            fprintf(stderr, "%s: status %ld\n", name.c_str(), (long)status);
            return 1;
        }
        // One write(2) per line, so a killed writer leaves only whole lines of names it saw written.
        name += '\n';
        if (write(1, name.data(), name.size()) != (ssize_t)name.size()) return 1;
    }
    return 0;
}
