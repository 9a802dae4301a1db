// reg: query, add and delete registry values of the stand-in store from the command line, with
// Windows' reg output layout and exit codes (0 done or found, 1 not found or failed).
//   reg query  KEY [/v NAME | /ve]
//   reg add    KEY [/v NAME | /ve] [/t REG_DWORD | REG_SZ] [/d DATA] [/f]
//   reg delete KEY [/v NAME | /ve] [/f]
// Names come from the command line and go to the terminal in UTF-8, and reach the store through
// the W functions, so any name a program wrote is found and shown as it was written.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <windows.h>

#include <standin/errors.h>

#include <string>
#include <vector>

#include <utf8.h>

namespace {

enum Operation { Query, Add, Delete };

struct Command {
    Operation operation;
    HKEY root;
    std::string printed; // the key as reg prints it: root in long form, path as typed
    std::u16string subkey;
    bool hasValue = false; // /v NAME or /ve
    std::string valueName; // as typed, "" for /ve
    std::u16string value;
    const char *type = nullptr;
    const char *data = nullptr;
    bool force = false;
};

struct RootName {
    const char *shortName;
    const char *longName;
    HKEY root;
};

struct TypeName {
    DWORD type;
    const char *name;
};

} // namespace

static const RootName kRootNames[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {"HKU", "HKEY_USERS", HKEY_USERS},
    {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

static const TypeName kTypeNames[] = {
    {REG_NONE, "REG_NONE"},           {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"}, {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"},         {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, "REG_LINK"},           {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_QWORD, "REG_QWORD"},
};

static const char *const kOperations[] = {"QUERY", "ADD", "DELETE"};

static int syntax_error(const char *operation)
{
    fprintf(stderr, "ERROR: Invalid syntax.\r\nType \"REG %s /?\" for usage.\r\n", operation);
    return 1;
}

static int status_error(LONG status)
{
    if (status == ERROR_FILE_NOT_FOUND) {
        fputs("ERROR: The system was unable to find the specified registry key or value.\r\n", stderr);
    } else if (status == ERROR_ACCESS_DENIED) {
        fputs("ERROR: Access is denied.\r\n", stderr);
    } else {
        const char *name = StandinErrorName((DWORD)status);
        fprintf(stderr, "ERROR: The registry operation failed with status %ld%s%s.\r\n", (long)status,
                *name ? " " : "", name);
    }
    return 1;
}

static int usage(FILE *out)
{
    fputs("REG QUERY KeyName [/v ValueName | /ve]\r\n"
          "REG ADD KeyName [/v ValueName | /ve] [/t REG_DWORD | REG_SZ] [/d Data] [/f]\r\n"
          "REG DELETE KeyName [/v ValueName | /ve] [/f]\r\n"
          "\r\n"
          "Reads and writes the registry stand-in's store (WIN32_STANDIN_REGISTRY, by default\r\n"
          "$XDG_DATA_HOME/win32-standin/registry.db) and prints as Windows' reg does.\r\n"
          "KeyName: ROOT\\SubKey, ROOT one of HKLM, HKCU, HKCR, HKU, HKCC or their long forms.\r\n"
          "/f overwrites or deletes without asking. Help: reg /? or reg --help.\r\n"
          "\r\n"
          "Example:\r\n"
          "  $ reg add 'HKCU\\Software\\Examples' /v Answer /t REG_DWORD /d 42 /f\r\n"
          "  The operation completed successfully.\r\n"
          "  $ reg query 'HKCU\\Software\\Examples' /v Answer\r\n"
          "\r\n"
          "  HKEY_CURRENT_USER\\Software\\Examples\r\n"
          "      Answer    REG_DWORD    0x2a\r\n"
          "\r\n"
          "Exit code: 0 done or found, 1 not found or failed.\r\n",
          out);
    return out == stdout ? 0 : 1;
}

static bool is_option(const char *arg, const char *name)
{
    return (arg[0] == '/' || arg[0] == '-') && strcasecmp(arg + 1, name) == 0;
}

static bool is_help(const char *arg) { return is_option(arg, "?") || strcmp(arg, "--help") == 0; }

// "HKCU\Software\X\" -> HKEY_CURRENT_USER, "Software\X", printed "HKEY_CURRENT_USER\Software\X".
static bool parse_key(const char *text, Command *command)
{
    std::string key = text;
    size_t slash = key.find('\\');
    std::string rootName = key.substr(0, slash);
    std::string rest = slash == std::string::npos ? std::string() : key.substr(slash + 1);
    while (!rest.empty() && rest.back() == '\\') rest.pop_back();
    for (const RootName &name : kRootNames) {
        if (strcasecmp(rootName.c_str(), name.shortName) == 0 ||
            strcasecmp(rootName.c_str(), name.longName) == 0) {
            command->root = name.root;
            command->subkey = text::utf16_from_bytes(rest);
            command->printed =
                rest.empty() ? std::string(name.longName) : std::string(name.longName) + "\\" + rest;
            return true;
        }
    }
    return false;
}

// The options after KEY; false on anything reg does not take for the operation.
static bool parse_options(int argc, char **argv, Command *command)
{
    for (int i = 3; i < argc; ++i) {
        const char *arg = argv[i];
        if (is_option(arg, "v") && i + 1 < argc && !command->hasValue) {
            command->hasValue = true;
            command->valueName = argv[++i];
            command->value = text::utf16_from_bytes(command->valueName);
        } else if (is_option(arg, "ve") && !command->hasValue) {
            command->hasValue = true;
        } else if (is_option(arg, "t") && i + 1 < argc && command->operation == Add &&
                   command->type == nullptr) {
            command->type = argv[++i];
        } else if (is_option(arg, "d") && i + 1 < argc && command->operation == Add &&
                   command->data == nullptr) {
            command->data = argv[++i];
        } else if (is_option(arg, "f") && command->operation != Query && !command->force) {
            command->force = true;
        } else {
            return false;
        }
    }
    return true;
}

static const char *type_name(DWORD type)
{
    for (const TypeName &entry : kTypeNames) {
        if (entry.type == type) return entry.name;
    }
    return "REG_UNKNOWN";
}

// The data as reg shows it: numbers as 0x and lowercase hex without padding, strings as they are,
// anything else as uppercase hex bytes.
static std::string format_data(DWORD type, const std::vector<BYTE> &data)
{
    char text[32];
    if (type == REG_DWORD || type == REG_QWORD || type == REG_DWORD_BIG_ENDIAN) {
        unsigned long long number = 0;
        size_t width = type == REG_QWORD ? 8 : 4;
        for (size_t i = 0; i < width && i < data.size(); ++i) {
            size_t shift = type == REG_DWORD_BIG_ENDIAN ? 8 * (width - 1 - i) : 8 * i;
            number |= (unsigned long long)data[i] << shift;
        }
        snprintf(text, sizeof text, "0x%llx", number);
        return text;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::string value(data.begin(), data.end());
        return value.substr(0, value.find('\0'));
    }
    std::string hex;
    for (BYTE byte : data) {
        snprintf(text, sizeof text, "%02X", byte);
        hex += text;
    }
    return hex;
}

static void print_value(const std::string &name, DWORD type, const std::vector<BYTE> &data)
{
    printf("    %s    %s    %s\r\n", name.empty() ? "(Default)" : name.c_str(), type_name(type),
           format_data(type, data).c_str());
}

static LONG read_value(HKEY key, const std::u16string &name, DWORD *type, std::vector<BYTE> *data)
{
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name.c_str(), nullptr, type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    data->resize(size);
    return RegQueryValueExW(key, name.c_str(), nullptr, type, data->data(), &size);
}

// The key's values, then its subkeys' full names, as reg query lists them.
static LONG list_key(HKEY key, const std::string &printed)
{
    std::vector<WCHAR> name(16384);
    std::vector<BYTE> data;
    bool header = false;
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = (DWORD)name.size();
        DWORD type = REG_NONE;
        DWORD size = 0;
        LONG status = RegEnumValueW(key, index, name.data(), &nameSize, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return status;
        data.resize(size);
        nameSize = (DWORD)name.size();
        status = RegEnumValueW(key, index, name.data(), &nameSize, nullptr, &type, data.data(), &size);
        if (status != ERROR_SUCCESS) return status;
        if (!header) printf("%s\r\n", printed.c_str());
        header = true;
        print_value(text::utf8_from_utf16(std::u16string_view(name.data(), nameSize)), type, data);
    }
    if (header) printf("\r\n");
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = (DWORD)name.size();
        LONG status = RegEnumKeyExW(key, index, name.data(), &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return status;
        std::string subkey = text::utf8_from_utf16(std::u16string_view(name.data(), nameSize));
        printf("%s\\%s\r\n", printed.c_str(), subkey.c_str());
    }
    return ERROR_SUCCESS;
}

static int query(const Command &command)
{
    HKEY key;
    LONG status = RegOpenKeyExW(command.root, command.subkey.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) return status_error(status);
    if (command.hasValue) {
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        status = read_value(key, command.value, &type, &data);
        if (status == ERROR_SUCCESS) {
            printf("\r\n%s\r\n", command.printed.c_str());
            print_value(command.valueName, type, data);
            printf("\r\n");
        }
    } else {
        printf("\r\n");
        status = list_key(key, command.printed);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : status_error(status);
}

static bool confirmed(const char *question, const std::string &subject)
{
    printf("%s %s (Yes/No)? ", question, subject.c_str());
    fflush(stdout);
    char answer[16];
    if (fgets(answer, sizeof answer, stdin) == nullptr) return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

static int done(void)
{
    printf("The operation completed successfully.\r\n");
    return 0;
}

static int cancelled(void)
{
    printf("The operation was cancelled.\r\n");
    return 0;
}

// "42" or "0x2a": the number a REG_DWORD holds; false for anything else or past 32 bits.
static bool parse_dword(const char *text, DWORD *value)
{
    if (text[0] < '0' || text[0] > '9') return false;
    char *end = nullptr;
    unsigned long long number =
        strtoull(text, &end, text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 16 : 10);
    if (*end != '\0' || number > 0xFFFFFFFFull) return false;
    *value = (DWORD)number;
    return true;
}

// The bytes /t and /d describe: a REG_DWORD little-endian, a REG_SZ with its terminator.
static bool value_bytes(const Command &command, DWORD *type, std::vector<BYTE> *bytes)
{
    const char *typeText = command.type != nullptr ? command.type : "REG_SZ";
    const char *data = command.data != nullptr ? command.data : "";
    if (strcasecmp(typeText, "REG_DWORD") == 0) {
        DWORD number = 0;
        if (command.data != nullptr && !parse_dword(data, &number)) return false;
        *type = REG_DWORD;
        *bytes = {(BYTE)number, (BYTE)(number >> 8), (BYTE)(number >> 16), (BYTE)(number >> 24)};
        return true;
    }
    if (strcasecmp(typeText, "REG_SZ") == 0) {
        *type = REG_SZ;
        bytes->assign(data, data + strlen(data) + 1);
        return true;
    }
    return false;
}

static int add(const Command &command)
{
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    if (command.hasValue && !value_bytes(command, &type, &bytes)) {
        fprintf(stderr, "ERROR: Invalid data '%s' for type %s.\r\n",
                command.data != nullptr ? command.data : "",
                command.type != nullptr ? command.type : "REG_SZ");
        return 1;
    }
    HKEY key;
    LONG status = RegCreateKeyExW(command.root, command.subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status_error(status);
    if (command.hasValue) {
        bool exists =
            RegQueryValueExW(key, command.value.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        if (exists && !command.force &&
            !confirmed("Value", (command.valueName.empty() ? "(Default)" : command.valueName) +
                                    " exists, overwrite")) {
            RegCloseKey(key);
            return cancelled();
        }
        status = RegSetValueExW(key, command.value.c_str(), 0, type, bytes.data(), (DWORD)bytes.size());
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? done() : status_error(status);
}

static int remove(const Command &command)
{
    if (!command.hasValue) {
        if (command.subkey.empty()) return syntax_error("DELETE");
        HKEY key;
        LONG status = RegOpenKeyExW(command.root, command.subkey.c_str(), 0, KEY_READ, &key);
        if (status != ERROR_SUCCESS) return status_error(status);
        RegCloseKey(key);
        if (!command.force && !confirmed("Permanently delete the registry key", command.printed))
            return cancelled();
        status = RegDeleteTreeW(command.root, command.subkey.c_str());
        return status == ERROR_SUCCESS ? done() : status_error(status);
    }
    HKEY key;
    LONG status = RegOpenKeyExW(command.root, command.subkey.c_str(), 0, KEY_READ | KEY_SET_VALUE, &key);
    if (status != ERROR_SUCCESS) return status_error(status);
    status = RegQueryValueExW(key, command.value.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS && !command.force &&
        !confirmed("Delete the registry value",
                   command.valueName.empty() ? "(Default)" : command.valueName)) {
        RegCloseKey(key);
        return cancelled();
    }
    if (status == ERROR_SUCCESS) status = RegDeleteValueW(key, command.value.c_str());
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? done() : status_error(status);
}

int main(int argc, char **argv)
{
    if (argc < 2) return usage(stderr);
    if (is_help(argv[1])) return usage(stdout);
    Command command;
    size_t operation = 0;
    while (operation < 3 && strcasecmp(argv[1], kOperations[operation]) != 0) ++operation;
    if (operation == 3) {
        fprintf(stderr, "ERROR: Invalid operation '%s': QUERY, ADD or DELETE.\r\n", argv[1]);
        return usage(stderr);
    }
    command.operation = (Operation)operation;
    if (argc >= 3 && is_help(argv[2])) return usage(stdout);
    if (argc < 3) return syntax_error(kOperations[operation]);
    if (!parse_key(argv[2], &command)) {
        fputs("ERROR: Invalid key name.\r\n", stderr);
        return 1;
    }
    if (!parse_options(argc, argv, &command)) return syntax_error(kOperations[operation]);
    switch (command.operation) {
    case Query:
        return query(command);
    case Add:
        return add(command);
    case Delete:
        return remove(command);
    }
    return 1;
}
