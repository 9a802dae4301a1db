// The child-process runner: fork and pipes on POSIX, CreateProcess and temporary files on Windows
// (files need no reader thread, and the tests' programs write little).
#include "support/process.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;
#endif

namespace support {

// The part of "NAME=value" that an override matches on.
static std::string variable_name(const std::string &entry) { return entry.substr(0, entry.find('=') + 1); }

#ifdef _WIN32

// Variable names ignore case on Windows.
static std::string upper(std::string text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z') c -= 0x20;
    return text;
}

// One argument as CommandLineToArgvW splits it back: quotes around blanks, backslashes doubled
// only before a quote.
static std::string quote_argument(const std::string &arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, '\\');
    return out + "\"";
}

// The caller's environment with the overrides, sorted by name as CreateProcess expects, as one
// block of terminated entries ending in an empty one.
static std::string environment_block(const std::vector<std::string> &env)
{
    std::vector<std::string> entries;
    char *strings = GetEnvironmentStringsA();
    for (const char *entry = strings; entry && *entry; entry += strlen(entry) + 1) {
        std::string text = entry;
        bool replaced = std::any_of(env.begin(), env.end(), [&](const std::string &extra) {
            return upper(variable_name(text)) == upper(variable_name(extra));
        });
        if (!replaced) entries.push_back(text);
    }
    if (strings) FreeEnvironmentStringsA(strings);
    entries.insert(entries.end(), env.begin(), env.end());
    std::sort(entries.begin(), entries.end(),
              [](const std::string &a, const std::string &b) { return upper(a) < upper(b); });
    std::string block;
    for (const std::string &entry : entries) block += entry + '\0';
    return block + '\0';
}

static std::string temporary_file()
{
    char folder[MAX_PATH], name[MAX_PATH];
    if (GetTempPathA(MAX_PATH, folder) == 0 || GetTempFileNameA(folder, "out", 0, name) == 0) return "";
    return name;
}

static HANDLE inheritable(const std::string &path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

static std::string take_file(const std::string &path)
{
    if (path.empty()) return "";
    std::string text;
    {
        std::ifstream in(path, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    DeleteFileA(path.c_str());
    return text;
}

Child start_process(const std::string &program, const std::vector<std::string> &args,
                    const std::vector<std::string> &env, Streams streams)
{
    Child child;
    child.out_file = temporary_file();
    if (streams == Streams::Separate) child.err_file = temporary_file();
    HANDLE in = inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = inheritable(child.out_file, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = streams == Streams::Merged ? out : inheritable(child.err_file, GENERIC_WRITE, CREATE_ALWAYS);

    std::string command = quote_argument(program);
    for (const std::string &arg : args) command += " " + quote_argument(arg);
    std::string environment = environment_block(env);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info = {};
    if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
        CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, &environment[0], nullptr, &startup,
                       &info)) {
        CloseHandle(info.hThread);
        child.process = info.hProcess;
    }
    for (HANDLE handle : {in, out, err})
        if (handle != INVALID_HANDLE_VALUE && (handle != err || err != out)) CloseHandle(handle);
    return child;
}

Finished finish_process(Child child)
{
    Finished done;
    if (child.process != nullptr) {
        WaitForSingleObject(child.process, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(child.process, &code);
        CloseHandle(child.process);
        done.status = (int)code;
    } else {
        done.status = 127;
    }
    done.out = take_file(child.out_file);
    done.err = take_file(child.err_file);
    return done;
}

#else

Child start_process(const std::string &program, const std::vector<std::string> &args,
                    const std::vector<std::string> &env, Streams streams)
{
    std::vector<std::string> environment;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        bool replaced = std::any_of(env.begin(), env.end(), [&](const std::string &extra) {
            return variable_name(text) == variable_name(extra);
        });
        if (!replaced) environment.push_back(text);
    }
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char *> envp;
    for (std::string &entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const bool merged = streams == Streams::Merged;
    int out[2], err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0) return Child{};
    if (!merged && pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return Child{};
    }
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(out[1], 1);
        dup2(merged ? out[1] : err[1], 2);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    if (!merged) close(err[1]);
    return Child{pid, out[0], err[0]};
}

Finished finish_process(Child child)
{
    Finished done;
    if (child.pid < 0) return done;
    pollfd fds[2] = {{child.out, POLLIN, 0}, {child.err, POLLIN, 0}};
    std::string *sinks[2] = {&done.out, &done.err};
    int open = child.err < 0 ? 1 : 2;
    while (open > 0 && poll(fds, 2, -1) >= 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, (size_t)got);
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(child.pid, &status, 0);
    done.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return done;
}

#endif

Finished run_process(const std::string &program, const std::vector<std::string> &args,
                     const std::vector<std::string> &env, Streams streams)
{
    return finish_process(start_process(program, args, env, streams));
}

} // namespace support
