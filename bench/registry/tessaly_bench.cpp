// What a tessaly call costs: calls per second through the stand-in host into a store, with a new
// value on every call (each commit writes) and with the same value again (SQLite then dirties no
// page); against the same registry work (create or open the key, write the value, close) in a plain
// loop, the same upsert through Python's sqlite3 on the same store, and one reg add process per value.
//
// Usage: tessaly_bench [--calls N] [--repeat R] [--processes P]
// The store is a fresh file in $TMPDIR (or /tmp), removed afterwards.
#include <stdint.h>
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
constexpr int kNames = 1000; // value names written in turn, so the store stays a fixed size

} // namespace

static double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

static mxArray *text(const std::string &value) { return support::char_row(value); }

namespace {

// The value each call writes: a new one every time, or always the same.
struct Values {
    bool changing;
    uint32_t next = 1;

    uint32_t take() { return changing ? next++ : 42; }
};

} // namespace

// N tessaly calls, each writing one of the value names; the seconds taken.
static double time_tessaly(mexhost::Plugin &tessaly, int calls, const std::vector<mxArray *> &names,
                           Values &values, bool checkInputs)
{
    mxArray *base = text("HKCU");
    mxArray *key = text(kKey);
    mxArray *value = mexhost::make_uint32({42});
    uint32_t *data = (uint32_t *)mxGetData(value);
    mexhost::CallOptions options;
    options.nlhs = 0;
    options.check_inputs = checkInputs; // the stand-in's checksum of the inputs, a test aid
    Clock::time_point start = Clock::now();
    for (int i = 0; i < calls; ++i) {
        *data = values.take();
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
static double time_plain(int calls, const std::vector<std::string> &names, Values &values)
{
    Clock::time_point start = Clock::now();
    for (int i = 0; i < calls; ++i) {
        DWORD value = values.take();
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                            &key, NULL) != ERROR_SUCCESS ||
            RegSetValueExA(key, names[i % kNames].c_str(), 0, REG_DWORD, (const BYTE *)&value, 4) !=
                ERROR_SUCCESS) {
            fprintf(stderr, "plain loop failed\n");
            exit(1);
        }
        RegCloseKey(key);
    }
    return seconds_since(start);
}

// One reg add process per value, one after another, as a script would run them.
static double time_reg_processes(int processes, const std::string &store)
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

// The best of repeat runs of the same upsert through Python's sqlite3, in seconds; 0 when python3
// is missing or fails.
static double time_python(int calls, int repeat, bool changing, const std::string &store)
{
    if (PYTHON3[0] == '\0') return 0;
    support::Finished done = support::run_process(PYTHON3, {UPSERT_PEER, store, kKey, std::to_string(calls),
                                                            std::to_string(repeat), changing ? "1" : "0"});
    fputs(done.err.c_str(), stderr);
    return done.status == 0 ? strtod(done.out.c_str(), nullptr) : 0;
}

static int option(int argc, char **argv, const char *name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (strcmp(argv[i], name) == 0) return atoi(argv[i + 1]);
    }
    return fallback;
}

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
    // the best of interleaved runs so all of them see the same machine load.
    Values warm{true};
    time_tessaly(*tessaly, kNames, nameArrays, warm, false);
    time_plain(kNames, names, warm);
    struct Figures {
        double tessaly = 1e30, checked = 1e30, plain = 1e30, python = 0;
    };
    Figures figures[2]; // [0] a new value every call, [1] the same value again
    for (int changing = 1; changing >= 0; --changing) {
        Figures &f = figures[1 - changing];
        Values values{changing != 0, warm.next};
        for (int r = 0; r < repeat; ++r) {
            f.tessaly = std::min(f.tessaly, time_tessaly(*tessaly, calls, nameArrays, values, false));
            f.checked = std::min(f.checked, time_tessaly(*tessaly, calls, nameArrays, values, true));
            f.plain = std::min(f.plain, time_plain(calls, names, values));
        }
        warm.next = values.next;
        f.python = time_python(calls, repeat, changing != 0, store);
    }
    double regSeconds = time_reg_processes(processes, store);

    printf("store: %s (WAL, synchronous=NORMAL), %d calls, best of %d\n", store.c_str(), calls, repeat);
    const char *const headings[] = {"a new value on every call (each commit writes)",
                                    "the same value again (nothing to write)"};
    for (int i = 0; i < 2; ++i) {
        const Figures &f = figures[i];
        double rate = calls / f.tessaly;
        printf("\n%s\n", headings[i]);
        printf("  tessaly through the host : %10.0f calls/s  (%.2f us per call)\n", rate, 1e6 / rate);
        printf("  plain registry loop      : %10.0f calls/s  (%.2f us per call)\n", calls / f.plain,
               1e6 * f.plain / calls);
        printf("  ratio tessaly/plain time : %10.3f  (with the host's input checksum on: %.3f)\n",
               f.tessaly / f.plain, f.checked / f.plain);
        if (f.python > 0) {
            printf(
                "  Python sqlite3 upsert    : %10.0f calls/s  (%.2f us per call; tessaly/Python time %.3f)\n",
                calls / f.python, 1e6 * f.python / calls, f.tessaly / f.python);
        } else {
            printf("  Python sqlite3 upsert    : not measured (no python3)\n");
        }
    }
    double tessalyRate = calls / figures[0].tessaly, regRate = processes / regSeconds;
    printf("\nreg add, one process each: %10.1f calls/s  (%.0fx slower than tessaly with new values)\n",
           regRate, tessalyRate / regRate);

    for (mxArray *array : nameArrays) mexhost::destroy(array);
    StandinRegUseStore(nullptr, FALSE);
    return 0;
}
