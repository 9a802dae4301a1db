// Runs programs as child processes for tests and benchmarks: fixed arguments (no shell), extra
// environment variables, stdout and stderr captured, separately or together.
#ifndef TESTS_SUPPORT_PROCESS_H
#define TESTS_SUPPORT_PROCESS_H

#include <string>
#include <vector>

namespace support {

#ifdef _WIN32
struct Child {
    void *process = nullptr; // the process handle
    std::string out_file;    // where its stdout went
    std::string err_file;    // where its stderr went; empty when merged into out_file
};
#else
struct Child {
    int pid = -1;
    int out = -1; // read end of the child's stdout
    int err = -1; // read end of the child's stderr; -1 when merged into out
};
#endif

struct Finished {
    int status = -1; // exit status; on POSIX 128 + signal for a killed child
    std::string out;
    std::string err;
};

enum class Streams { Separate, Merged };

// Starts program (a path, or on Windows also a name searched the system's way) with args; env
// entries ("NAME=value") override the caller's own environment. Standard input is empty. A child
// that cannot start finishes with status 127 (or -1 if not even that could be arranged).
Child start_process(const std::string &program, const std::vector<std::string> &args,
                    const std::vector<std::string> &env = {}, Streams streams = Streams::Separate);

// Collects what the child wrote until it ended, and reaps it.
Finished finish_process(Child child);

Finished run_process(const std::string &program, const std::vector<std::string> &args,
                     const std::vector<std::string> &env = {}, Streams streams = Streams::Separate);

} // namespace support

#endif
