// What a tessaly call costs on top of the registry work it does: calls per second through the
// stand-in host into a store, against the same work (create or open the key, write the value,
// close) in a plain loop, and against one reg add process per value.
//
// Usage: tessaly_bench [--calls N] [--repeat R] [--processes P]
// The store is a fresh file in $TMPDIR (or /tmp), removed afterwards.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <standin/registry.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "mexhost.h"
#include "support/arrays.h"
#include "support/process.h"
#include "support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kKey[] = "Software\\TessalyBench\\Values";
constexpr int kNames = 1000;  // value names written in turn, so the store stays a fixed size

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

mxArray *text(const std::string &value) { return support::char_row(value); }

// N tessaly calls, each writing one of the value names; the seconds taken.
double time_tessaly(mexhost::Plugin &tessaly, int calls, const std::vector<mxArray *> &names, bool checkInputs)
{
    mxArray *base = text("HKCU");
    mxArray *key = text(kKey);
    mxArray *value = mexhost::make_uint32({42});
    mexhost::CallOptions options;
    options.nlhs = 0;
    options.check_inputs = checkInputs;  // the stand-in's checksum of the inputs, a test aid
    Clock::time_point start = Clock::now();
    for (int i = 0; i < calls; ++i) {
        mexhost::CallResult result = mexhost::call(tessaly, {base, key, names[i % kNames], value}, options);
        if (!result.ok) {
            fprintf(stderr, "tessaly failed: %s\n", result.message.c_str());
            exit(1);
        }
    }
    double taken = seconds_since(start);
    mexhost::destroy(base);
    mexhost::destroy(key);
    mexhost::destroy(value);
    return taken;
}

// The same registry work in a plain loop.
double time_plain(int calls, const std::vector<std::string> &names)
{
    const DWORD value = 42;
    Clock::time_point start = Clock::now();
    for (int i = 0; i < calls; ++i) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key,
                            NULL) != ERROR_SUCCESS ||
            RegSetValueExA(key, names[i % kNames].c_str(), 0, REG_DWORD, (const BYTE *)&value, 4) != ERROR_SUCCESS) {
            fprintf(stderr, "plain loop failed\n");
            exit(1);
        }
        RegCloseKey(key);
    }
    return seconds_since(start);
}

// One reg add process per value, one after another, as a script would run them.
double time_reg_processes(int processes, const std::string &store)
{
    setenv("WIN32_STANDIN_REGISTRY", store.c_str(), 1);
    std::string key = std::string("HKCU\\") + kKey;
    Clock::time_point start = Clock::now();
    for (int i = 0; i < processes; ++i) {
        std::string name = "R" + std::to_string(i % kNames);
        support::Finished done =
            support::run_process(REG_PROGRAM, {"add", key, "/v", name, "/t", "REG_DWORD", "/d", "42", "/f"});
        if (done.status != 0) {
            fprintf(stderr, "reg add failed\n");
            exit(1);
        }
    }
    return seconds_since(start);
}

int option(int argc, char **argv, const char *name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (strcmp(argv[i], name) == 0) return atoi(argv[i + 1]);
    }
    return fallback;
}

}  // namespace

int main(int argc, char **argv)
{
    int calls = option(argc, argv, "--calls", 20000);
    int repeat = option(argc, argv, "--repeat", 5);
    int processes = option(argc, argv, "--processes", 200);

    support::TempFolder folder("tessaly-bench");
    if (!folder.made()) {
        fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    std::string store = folder.string() + "/store.db";
    StandinRegUseStore(store.c_str(), FALSE);

    std::string error;
    std::unique_ptr<mexhost::Plugin> tessaly = mexhost::Plugin::load(TESSALY_PLUGIN, &error);
    if (!tessaly) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::vector<std::string> names;
    std::vector<mxArray *> nameArrays;
    for (int i = 0; i < kNames; ++i) {
        names.push_back("V" + std::to_string(i));
        nameArrays.push_back(text(names.back()));
    }

    // Warm up both paths (the store file, its key and every value exist from here on), then take
    // the best of interleaved runs so both see the same machine load.
    time_tessaly(*tessaly, kNames, nameArrays, false);
    time_plain(kNames, names);
    double bestTessaly = 1e30, bestChecked = 1e30, bestPlain = 1e30;
    for (int r = 0; r < repeat; ++r) {
        bestTessaly = std::min(bestTessaly, time_tessaly(*tessaly, calls, nameArrays, false));
        bestChecked = std::min(bestChecked, time_tessaly(*tessaly, calls, nameArrays, true));
        bestPlain = std::min(bestPlain, time_plain(calls, names));
    }
    double regSeconds = time_reg_processes(processes, store);

    double tessalyRate = calls / bestTessaly, plainRate = calls / bestPlain, regRate = processes / regSeconds;
    printf("store: %s (WAL, synchronous=NORMAL)\n", store.c_str());
    printf("tessaly through the host : %10.0f calls/s  (%.2f us per call)\n", tessalyRate, 1e6 / tessalyRate);
    printf("plain registry loop      : %10.0f calls/s  (%.2f us per call)\n", plainRate, 1e6 / plainRate);
    printf("ratio tessaly/plain time : %10.3f  (target <= 1.2)\n", bestTessaly / bestPlain);
    printf("  with the host's input checksum on: %.3f\n", bestChecked / bestPlain);
    printf("reg add, one process each: %10.1f calls/s  (%.0fx slower than tessaly)\n", regRate, tessalyRate / regRate);

    for (mxArray *array : nameArrays) mexhost::destroy(array);
    StandinRegUseStore(nullptr, FALSE);
    return 0;
}
