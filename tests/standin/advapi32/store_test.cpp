// The store shared between processes: writers running at once lose nothing, and a writer killed
// in the middle of its run leaves a sound store holding every write it saw reported done. Each
// runs twice: writing through the registry functions, and through tessaly calls in the host.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "support/process.h"
#include "store_fixture.h"

namespace {

using support::Child;
using support::finish_process;
using support::Finished;
using support::start_process;

// The writer's extra argument: none, or the tessaly plug-in to write through.
class SharedStoreTest : public StoreTest, public ::testing::WithParamInterface<std::vector<std::string>> {
protected:
    Child StartWriter(const std::string &prefix, long count)
    {
        std::vector<std::string> args{prefix, std::to_string(count)};
        args.insert(args.end(), GetParam().begin(), GetParam().end());
        return start_process(WRITER_PROGRAM, args, {"WIN32_STANDIN_REGISTRY=" + StorePath()});
    }

    // The DWORD stored under HKCU\Software\Writers, or -1 when absent.
    static long long Written(HKEY key, const std::string &name)
    {
        DWORD value = 0, size = sizeof value;
        LONG status = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, (BYTE *)&value, &size);
        return status == ERROR_SUCCESS && size == 4 ? (long long)value : -1;
    }

    static std::vector<std::string> WholeLines(const std::string &text)
    {
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
};

} // namespace

TEST_P(SharedStoreTest, FourWritersAtOnceLoseNothing)
{
    const char *const prefixes[] = {"a", "b", "c", "d"};
    const long kWrites = 1000;
    std::vector<Child> writers;
    for (const char *prefix : prefixes) writers.push_back(StartWriter(prefix, kWrites));
    for (Child &writer : writers) {
        Finished done = finish_process(writer);
        EXPECT_EQ(done.status, 0) << done.err;
        EXPECT_EQ(WholeLines(done.out).size(), (size_t)kWrites);
    }

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Writers", 0, KEY_READ, &key), ERROR_SUCCESS);
    long present = 0;
    for (const char *prefix : prefixes) {
        for (long i = 0; i < kWrites; ++i) {
            std::string name = prefix + std::to_string(i);
            if (Written(key, name) == i)
                ++present;
            else
                ADD_FAILURE() << name << " missing or wrong";
        }
    }
    EXPECT_EQ(present, 4 * kWrites);
    DWORD extra = 0;
    char name[32];
    DWORD size = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 4 * kWrites, name, &size, nullptr, nullptr, nullptr, &extra),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_P(SharedStoreTest, WriterKilledMidRunKeepsEveryReportedWrite)
{
    Child writer = StartWriter("k", 1000000);
    // Let it report a few hundred writes, then kill it wherever it is.
    std::string seen;
    char buffer[4096];
    while (WholeLines(seen).size() < 300) {
        ssize_t got = read(writer.out, buffer, sizeof buffer);
        ASSERT_GT(got, 0) << "the writer stopped early";
        seen.append(buffer, (size_t)got);
    }
    ASSERT_EQ(kill(writer.pid, SIGKILL), 0);
    Finished done = finish_process(writer);
    EXPECT_EQ(done.status, 128 + SIGKILL);
    std::vector<std::string> reported = WholeLines(seen + done.out);

    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(StorePath().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    sqlite3_stmt *check = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ((const char *)sqlite3_column_text(check, 0), "ok");
    sqlite3_finalize(check);
    sqlite3_close(db);

    UseStore(FALSE);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Writers", 0, KEY_READ, &key), ERROR_SUCCESS);
    for (size_t i = 0; i < reported.size(); ++i) {
        ASSERT_EQ(reported[i], "k" + std::to_string(i));
        EXPECT_EQ(Written(key, reported[i]), (long long)i) << reported[i];
    }
    RegCloseKey(key);
    // The store takes new writes after the crash.
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Writers", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    DWORD value = 1;
    EXPECT_EQ(RegSetValueExA(key, "after", 0, REG_DWORD, (const BYTE *)&value, 4), ERROR_SUCCESS);
    RegCloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(Writers, SharedStoreTest,
                         ::testing::Values(std::vector<std::string>{},
                                           std::vector<std::string>{TESSALY_PLUGIN}),
                         [](const ::testing::TestParamInfo<std::vector<std::string>> &info) {
                             return info.param.empty() ? "RegistryFunctions" : "Tessaly";
                         });
