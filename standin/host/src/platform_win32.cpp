// Plug-in loading for Windows: LoadLibraryW on the UTF-16 form of the UTF-8 path. The standard
// search order starts in the program's folder, where libmx.dll and libmex.dll are.
#include <windows.h>
#include <shellapi.h>

#include "platform.h"

namespace mexhost::platform {

const char kPluginExtension[] = ".mexw64";
const char kPathListSeparator = ';';

bool is_folder_separator(char c) { return c == '/' || c == '\\'; }

static std::wstring widen(const std::string &text)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring wide((size_t)length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &wide[0], length);
    return wide;
}

static std::string narrow(const wchar_t *text, int length)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out((size_t)bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], bytes, nullptr, nullptr);
    return out;
}

static std::string system_message(DWORD code)
{
    wchar_t *text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, (LPWSTR)&text, 0, nullptr);
    std::string message = length ? narrow(text, (int)length) : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
    return message;
}

void *open_library(const std::string &path, std::string *error)
{
    std::wstring wide = widen(path);
    for (wchar_t &c : wide)
        if (c == L'/') c = L'\\'; // LoadLibraryW wants backslashes
    HMODULE library = LoadLibraryW(wide.c_str());
    if (!library && error) *error = path + ": " + system_message(GetLastError());
    return (void *)library;
}

void *find_symbol(void *library, const char *name) { return (void *)GetProcAddress((HMODULE)library, name); }

void close_library(void *library) { FreeLibrary((HMODULE)library); }

std::string executable_folder()
{
    wchar_t buffer[32768];
    DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
    if (length == 0 || length >= 32768) return "";
    std::string path = narrow(buffer, (int)length);
    return path.substr(0, path.find_last_of("/\\"));
}

// argv is in the ANSI code page; the wide command line has every character.
std::vector<std::string> arguments(int, char **)
{
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(narrow(wide[i], (int)wcslen(wide[i])));
    LocalFree(wide);
    return out;
}

std::string environment(const char *name)
{
    std::wstring wide = widen(name);
    DWORD length = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (length == 0) return "";
    std::wstring value(length, L'\0');
    length = GetEnvironmentVariableW(wide.c_str(), &value[0], length);
    return narrow(value.data(), (int)length);
}

bool is_file(const std::string &path)
{
    DWORD attributes = GetFileAttributesW(widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace mexhost::platform
