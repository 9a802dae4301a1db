// Cost of the registry stand-in's operations on a store file: opening an existing key at several
// depths, writing and reading a value, and creating new keys (each a write transaction).
// The store is a fresh file in $TMPDIR (or /tmp), removed afterwards.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <windows.h>

#include <standin/registry.h>

#include <string>

#include "support/temp_folder.h"

namespace {

// A fresh store for the whole run.
class Store {
public:
    Store()
    {
        if (!folder_.made()) abort();
        StandinRegUseStore((folder_.string() + "/store.db").c_str(), FALSE);
    }
    ~Store() { StandinRegUseStore(nullptr, FALSE); }

private:
    support::TempFolder folder_{"registry-bench"};
};

} // namespace

static Store &store()
{
    static Store s;
    return s;
}

static std::string deep_path(int depth)
{
    std::string path = "Software";
    for (int i = 1; i < depth; ++i) path += "\\Level" + std::to_string(i);
    return path;
}

static HKEY create(const std::string &path)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) !=
        ERROR_SUCCESS) {
        abort();
    }
    return key;
}

static void CreateExistingKey(benchmark::State &state)
{
    store();
    std::string path = deep_path((int)state.range(0));
    RegCloseKey(create(path));
    for (auto _ : state) RegCloseKey(create(path));
}
BENCHMARK(CreateExistingKey)->Arg(1)->Arg(4)->Arg(16);

static void SetValue(benchmark::State &state)
{
    store();
    HKEY key = create("Software\\Set");
    DWORD value = 0;
    for (auto _ : state) {
        ++value;
        if (RegSetValueExA(key, "Value", 0, REG_DWORD, (const BYTE *)&value, 4) != ERROR_SUCCESS) abort();
    }
    RegCloseKey(key);
}
BENCHMARK(SetValue);

static void QueryValue(benchmark::State &state)
{
    store();
    HKEY key = create("Software\\Query");
    DWORD value = 7, size = 4;
    RegSetValueExA(key, "Value", 0, REG_DWORD, (const BYTE *)&value, 4);
    for (auto _ : state) {
        size = 4;
        if (RegQueryValueExA(key, "Value", NULL, NULL, (BYTE *)&value, &size) != ERROR_SUCCESS) abort();
    }
    RegCloseKey(key);
}
BENCHMARK(QueryValue);

static void CreateNewKey(benchmark::State &state)
{
    store();
    long next = 0;
    for (auto _ : state) RegCloseKey(create("Software\\New\\K" + std::to_string(next++)));
}
BENCHMARK(CreateNewKey);

BENCHMARK_MAIN();
