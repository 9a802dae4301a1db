// Runs the project's programs as child processes for tests: fixed arguments, extra environment
// variables, stdout and stderr captured.
#ifndef TESTS_REGISTRY_PROCESS_H
#define TESTS_REGISTRY_PROCESS_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char **environ;

struct Child {
    pid_t pid = -1;
    int out = -1;  // read end of the child's stdout
    int err = -1;  // read end of the child's stderr
};

struct Finished {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Starts program with args; env entries ("NAME=value") override the test's own environment.
inline Child start_process(const std::string &program, const std::vector<std::string> &args,
                           const std::vector<std::string> &env = {})
{
    std::vector<std::string> environment;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        bool replaced = false;
        for (const std::string &extra : env) {
            replaced = replaced || text.compare(0, extra.find('=') + 1, extra, 0, extra.find('=') + 1) == 0;
        }
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

    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return Child{};
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    return Child{pid, out[0], err[0]};
}

// Reads what the child writes until it ends, and reaps it.
inline Finished finish_process(Child child)
{
    Finished done;
    pollfd fds[2] = {{child.out, POLLIN, 0}, {child.err, POLLIN, 0}};
    std::string *sinks[2] = {&done.out, &done.err};
    int open = 2;
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

inline Finished run_process(const std::string &program, const std::vector<std::string> &args,
                            const std::vector<std::string> &env = {})
{
    return finish_process(start_process(program, args, env));
}

#endif
