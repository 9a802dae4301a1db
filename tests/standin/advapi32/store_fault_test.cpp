// The store when something around it goes wrong: another process holding its lock, a read-only
// spell, a damaged or missing file, a full disk. tessaly (through mexcall) and reg run as separate
// processes on a real store file; each failure is told in one line on standard error.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "store_fixture.h"
#include "support/process.h"

namespace {

using support::Child;
using support::finish_process;
using support::Finished;
using support::run_process;
using support::start_process;

// The wait bound the child processes run with, instead of 30 s.
const char kWaitMs[] = "300";

class StoreFaultTest : public StoreTest {
protected:
    // Runs program with args on the test's store; a child that still runs after a minute is killed
    // (exit status 137), so a wait without end fails the test instead of hanging it.
    Finished Run(std::vector<std::string> command, const std::vector<std::string> &env = {})
    {
        std::vector<std::string> words{"-s", "KILL", "60"};
        words.insert(words.end(), command.begin(), command.end());
        std::vector<std::string> environment{"WIN32_STANDIN_REGISTRY=" + StorePath(),
                                             "WIN32_STANDIN_REGISTRY_ADMIN=0",
                                             std::string("WIN32_STANDIN_REGISTRY_WAIT_MS=") + kWaitMs};
        for (const std::string &entry : env) {
            auto same = [&](const std::string &other) {
                return other.compare(0, other.find('='), entry, 0, entry.find('=')) == 0;
            };
            environment.erase(std::remove_if(environment.begin(), environment.end(), same),
                              environment.end());
            environment.push_back(entry);
        }
        return run_process("/usr/bin/timeout", words, environment);
    }

    static std::vector<std::string> Tessaly(const std::string &key, const std::string &name)
    {
        return {MEXCALL_PROGRAM, "--json",         TESSALY_PLUGIN, "'HKCU'",
                "'" + key + "'", "'" + name + "'", "uint32(7)"};
    }

    static std::vector<std::string> Reg(std::vector<std::string> args)
    {
        args.insert(args.begin(), REG_PROGRAM);
        return args;
    }

    // What a failing tessaly call prints with --json.
    static std::string OpenFailed(const std::string &key)
    {
        return "{\"error\":{\"identifier\":\"\",\"message\":\"Failed to Open/Create Key: '" + Escaped(key) +
               "'\"}}\n";
    }

    static std::string SetFailed(const std::string &key, const std::string &name)
    {
        return "{\"error\":{\"identifier\":\"\",\"message\":\"Failed to Set Value For Key '" + Escaped(key) +
               "', Value: " + name + "\"}}\n";
    }

    static std::string Escaped(const std::string &text)
    {
        std::string out;
        for (char c : text) {
            if (c == '\\') out += '\\';
            out += c;
        }
        return out;
    }

    // The stand-in's line on standard error for this store.
    std::string Line(const std::string &cause) const
    {
        return "advapi32 stand-in: registry store " + StorePath() + ": " + cause + "\n";
    }

    // A store holding HKCU\Software\Fault with count REG_SZ values, closed so the file is complete.
    void Seed(int count)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Fault", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        for (int i = 0; i < count; ++i) {
            std::string name = "Value" + std::to_string(1000 + i);
            std::string data(60, (char)('a' + i % 26));
            ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_SZ, (const BYTE *)data.c_str(),
                                     (DWORD)data.size() + 1),
                      ERROR_SUCCESS);
        }
        RegCloseKey(key);
        StandinRegUseStore(nullptr, FALSE);
    }

    // Removes the store file and its log and index, for the next case to start afresh.
    void Discard()
    {
        for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
            std::filesystem::remove(StorePath() + suffix);
        }
        UseStore(FALSE);
    }

    std::string Bytes(const std::string &path) const
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::vector<std::string> FolderEntries(const std::string &folder) const
    {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace

// The busy line for the test's wait bound.
static std::string BusyCause()
{
    return std::string("busy: another process held its lock for over ") + kWaitMs + " ms";
}

// Root ignores file modes; this takes that power away from a child process so read-only means
// read-only.
static std::vector<std::string> WithFileModes(std::vector<std::string> command)
{
    if (geteuid() == 0)
        command.insert(command.begin(),
                       {"/usr/bin/setpriv", "--bounding-set=-dac_override,-dac_read_search", "--"});
    return command;
}

TEST_F(StoreFaultTest, BusyStoreGivesUpAfterTheBound)
{
    struct Case {
        const char *what;
        const char *mode; // registry_locker's
        bool readsGoOn;   // whether reg query still reads the store
    };
    const Case cases[] = {
        {"exclusive locking mode", "exclusive", false},
        {"rollback journal, BEGIN EXCLUSIVE", "rollback", false},
        {"a writer's open transaction", "writer", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Seed(1);
        Child locker = start_process(LOCKER_PROGRAM, {c.mode, StorePath()});
        char buffer[16] = {};
        ASSERT_EQ(read(locker.out, buffer, 7), 7) << "the locker took no lock";

        // A new key needs a write; the key from Seed exists, so its value's write is what fails.
        Finished create = Run(Tessaly("Software\\Fault\\New", "V"));
        EXPECT_EQ(create.status, 1);
        EXPECT_EQ(create.out, OpenFailed("Software\\Fault\\New"));
        EXPECT_EQ(create.err, Line(BusyCause()));
        Finished set = Run(Tessaly("Software\\Fault", "V"));
        EXPECT_EQ(set.status, 1);
        EXPECT_EQ(set.out, c.readsGoOn ? SetFailed("Software\\Fault", "V") : OpenFailed("Software\\Fault"));
        EXPECT_EQ(set.err, Line(BusyCause()));
        Finished query = Run(Reg({"query", "HKCU\\Software\\Fault", "/v", "Value1000"}));
        if (c.readsGoOn) {
            EXPECT_EQ(query.status, 0) << query.err;
        } else {
            EXPECT_EQ(query.status, 1);
            EXPECT_EQ(query.err, Line(BusyCause()) + "ERROR: The registry operation failed with status "
                                                     "170 ERROR_BUSY.\r\n");
        }

        kill(locker.pid, SIGKILL);
        finish_process(locker);
        // Once the lock is gone the same store takes writes again.
        Finished after = Run(Tessaly("Software\\Fault\\New", "V"));
        EXPECT_EQ(after.status, 0) << after.out << after.err;
        EXPECT_EQ(after.err, "");
        Discard();
    }
}

TEST_F(StoreFaultTest, WritesWorkAgainAfterAReadOnlySpell)
{
    Seed(1);
    ASSERT_EQ(chmod(StorePath().c_str(), 0444), 0);
    Finished refused = Run(WithFileModes(Tessaly("Software\\Spell", "V")));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, OpenFailed("Software\\Spell"));
    EXPECT_EQ(refused.err, Line("read-only: it cannot be written"));
    Finished add = Run(
        WithFileModes(Reg({"add", "HKCU\\Software\\Fault", "/v", "V", "/t", "REG_DWORD", "/d", "1", "/f"})));
    EXPECT_EQ(add.status, 1);
    EXPECT_EQ(add.err, Line("read-only: it cannot be written") +
                           "ERROR: The registry operation failed with status "
                           "1016 ERROR_REGISTRY_IO_FAILED.\r\n");

    ASSERT_EQ(chmod(StorePath().c_str(), 0644), 0);
    Finished written = Run(WithFileModes(Tessaly("Software\\Spell", "V")));
    EXPECT_EQ(written.status, 0) << written.out << written.err;
    EXPECT_EQ(written.err, "");
    Finished query = Run(WithFileModes(Reg({"query", "HKCU\\Software\\Spell", "/v", "V"})));
    EXPECT_EQ(query.status, 0) << query.err;
    EXPECT_EQ(query.out, "\r\nHKEY_CURRENT_USER\\Software\\Spell\r\n    V    REG_DWORD    0x7\r\n\r\n");
}

namespace {

// Root ignores file modes; in this thread, for as long as it lives, it obeys them as anyone else.
class FileModesObeyed {
public:
    FileModesObeyed()
    {
        if (geteuid() == 0) set_override(false);
    }
    ~FileModesObeyed()
    {
        if (geteuid() == 0) set_override(true);
    }

private:
    static void set_override(bool on)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        ASSERT_EQ(syscall(SYS_capget, &header, data), 0);
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
            if (on)
                data[cap / 32].effective |= 1u << (cap % 32);
            else
                data[cap / 32].effective &= ~(1u << (cap % 32));
        }
        ASSERT_EQ(syscall(SYS_capset, &header, data), 0);
    }
};

} // namespace

TEST_F(StoreFaultTest, TheSameProcessWritesAgainAfterAReadOnlySpell)
{
    Seed(1);
    FileModesObeyed obeyed;
    ASSERT_EQ(chmod(StorePath().c_str(), 0444), 0);
    UseStore(FALSE);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Fault", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    DWORD value = 1;
    EXPECT_EQ(RegSetValueExA(key, "Spell", 0, REG_DWORD, (const BYTE *)&value, 4), ERROR_REGISTRY_IO_FAILED);
    ASSERT_EQ(chmod(StorePath().c_str(), 0644), 0);
    EXPECT_EQ(RegSetValueExA(key, "Spell", 0, REG_DWORD, (const BYTE *)&value, 4), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(StoreFaultTest, DamagedStoreIsNeverWrittenAndKeptAsItIs)
{
    struct Case {
        const char *what;
        long cut; // bytes cut off the end of the file
    };
    const Case cases[] = {
        {"inside the last page", 1000},
        {"one whole page", 4096},
        {"inside an earlier page", 4096 + 1000},
        {"all but the first two pages", -2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Seed(120);
        auto size = (long)std::filesystem::file_size(StorePath());
        ASSERT_GT(size, 4 * 4096);
        std::filesystem::resize_file(StorePath(), c.cut > 0 ? size - c.cut : 2 * 4096);
        std::string damaged = Bytes(StorePath());

        Finished write = Run(Tessaly("Software\\Fault", "New"));
        EXPECT_EQ(write.status, 1);
        EXPECT_EQ(write.out, OpenFailed("Software\\Fault"));
        EXPECT_EQ(write.err, Line("damaged: left as it is, and not written"));
        Finished query = Run(Reg({"query", "HKCU\\Software\\Fault"}));
        EXPECT_EQ(query.status, 1);
        EXPECT_EQ(query.err, Line("damaged: left as it is, and not written") +
                                 "ERROR: The registry operation failed with status "
                                 "1015 ERROR_REGISTRY_CORRUPT.\r\n");
        EXPECT_TRUE(Bytes(StorePath()) == damaged) << "the damaged file was changed";
        EXPECT_EQ(FolderEntries(Folder()), std::vector<std::string>{"store.db"});
        Discard();
    }
}

TEST_F(StoreFaultTest, ReadsCreateNothing)
{
    std::string home = Folder() + "/home";
    ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
    struct Case {
        const char *what;
        std::string registry; // WIN32_STANDIN_REGISTRY; empty for the default store below HOME
        std::string created;  // what a write then creates
    };
    const Case cases[] = {
        {"named file", StorePath(), StorePath()},
        {"named file in a missing folder", Folder() + "/absent/store.db", ""},
        {"default store", "", home + "/.local/share/win32-standin/registry.db"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> env{"WIN32_STANDIN_REGISTRY=" + c.registry, "HOME=" + home,
                                     "XDG_DATA_HOME="};
        Finished key = Run(Reg({"query", "HKCU\\Software\\Nothing"}), env);
        EXPECT_EQ(key.status, 1);
        EXPECT_EQ(key.err, "ERROR: The system was unable to find the specified registry key or value.\r\n");
        Finished root = Run(Reg({"query", "HKCU"}), env);
        EXPECT_EQ(root.status, 0) << root.err;
        EXPECT_EQ(root.out, "\r\n");
        EXPECT_EQ(FolderEntries(Folder()), std::vector<std::string>{"home"});
        EXPECT_EQ(FolderEntries(home), std::vector<std::string>{});

        // Writes still create the store.
        if (c.created.empty()) continue;
        Finished write = Run(Tessaly("Software\\Made", "V"), env);
        EXPECT_EQ(write.status, 0) << write.out << write.err;
        EXPECT_TRUE(std::filesystem::exists(c.created));
        std::filesystem::remove(c.created);
    }
}

TEST_F(StoreFaultTest, ReadsLeaveAnEmptyFileAsItIs)
{
    std::ofstream{StorePath()}.close();
    Finished key = Run(Reg({"query", "HKCU\\Software\\Nothing"}));
    EXPECT_EQ(key.status, 1);
    EXPECT_EQ(key.err, "ERROR: The system was unable to find the specified registry key or value.\r\n");
    Finished root = Run(Reg({"query", "HKCU"}));
    EXPECT_EQ(root.status, 0) << root.err;
    EXPECT_EQ(root.out, "\r\n");
    EXPECT_EQ(std::filesystem::file_size(StorePath()), 0u);
    EXPECT_EQ(FolderEntries(Folder()), std::vector<std::string>{"store.db"});

    // The empty file becomes the store once something is written.
    Finished write = Run(Tessaly("Software\\Made", "V"));
    EXPECT_EQ(write.status, 0) << write.out << write.err;
    Finished query = Run(Reg({"query", "HKCU\\Software\\Made"}));
    EXPECT_EQ(query.status, 0) << query.err;
    EXPECT_GT(std::filesystem::file_size(StorePath()), 0u);
}

TEST_F(StoreFaultTest, MissingFolderIsNamed)
{
    std::string absent = Folder() + "/absent";
    std::vector<std::string> env{"WIN32_STANDIN_REGISTRY=" + absent + "/store.db"};
    std::string line = "advapi32 stand-in: registry store " + absent + "/store.db: the folder " + absent +
                       " does not exist\n";
    Finished write = Run(Tessaly("Software\\Fault", "V"), env);
    EXPECT_EQ(write.status, 1);
    EXPECT_EQ(write.out, OpenFailed("Software\\Fault"));
    EXPECT_EQ(write.err, line);
    Finished add =
        Run(Reg({"add", "HKCU\\Software\\Fault", "/v", "V", "/t", "REG_DWORD", "/d", "1", "/f"}), env);
    EXPECT_EQ(add.status, 1);
    EXPECT_EQ(add.err, line + "ERROR: The registry operation failed with status "
                              "1016 ERROR_REGISTRY_IO_FAILED.\r\n");
    EXPECT_FALSE(std::filesystem::exists(absent));
}

TEST_F(StoreFaultTest, FullDiskIsNamed)
{
    Seed(1);
    std::string before = Bytes(StorePath());
    // No file of the child's may grow: the shell ignores the signal a too-large write raises.
    auto full = [](std::vector<std::string> command) {
        command.insert(command.begin(), {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 0; exec \"$@\"", "sh"});
        return command;
    };
    Finished write = Run(full(Tessaly("Software\\Fault", "V")));
    EXPECT_EQ(write.status, 1);
    EXPECT_EQ(write.out, OpenFailed("Software\\Fault"));
    EXPECT_EQ(write.err, Line("the disk is full"));
    Finished add =
        Run(full(Reg({"add", "HKCU\\Software\\Fault", "/v", "V", "/t", "REG_DWORD", "/d", "1", "/f"})));
    EXPECT_EQ(add.status, 1);
    EXPECT_EQ(add.err, Line("the disk is full") + "ERROR: The registry operation failed with status "
                                                  "1016 ERROR_REGISTRY_IO_FAILED.\r\n");
    EXPECT_TRUE(Bytes(StorePath()) == before);

    Finished room = Run(Tessaly("Software\\Fault", "V"));
    EXPECT_EQ(room.status, 0) << room.out << room.err;
}

TEST_F(StoreFaultTest, KeysNestDeeperThan512LevelsAreRefused)
{
    // Windows counts from \REGISTRY: HKEY_CURRENT_USER is \REGISTRY\USER\<SID>, three levels down.
    auto path = [](int levels) {
        std::string text = "L";
        for (int i = 1; i < levels; ++i) text += "\\L";
        return text;
    };
    HKEY key;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path(510).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(key, nullptr);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path(509).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    HKEY deeper;
    EXPECT_EQ(RegCreateKeyExA(key, "One", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deeper, nullptr),
              ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(RegOpenKeyExA(key, "One", 0, KEY_READ, &deeper), ERROR_FILE_NOT_FOUND);
    DWORD value = 1;
    EXPECT_EQ(RegSetValueExA(key, "AtTheBottom", 0, REG_DWORD, (const BYTE *)&value, 4), ERROR_SUCCESS);
    RegCloseKey(key);

    // Below the machine's roots one level more: \REGISTRY\MACHINE is two levels down.
    UseStore(TRUE);
    struct Case {
        const char *what;
        HKEY root;
        int deepest;
    };
    const Case cases[] = {
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, 510},
        {"HKEY_USERS", HKEY_USERS, 510},
        {"HKEY_CLASSES_ROOT (HKLM\\SOFTWARE\\Classes)", HKEY_CLASSES_ROOT, 508},
        {"HKEY_CURRENT_CONFIG (HKLM\\SYSTEM\\...\\Current)", HKEY_CURRENT_CONFIG, 506},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RegCreateKeyExA(c.root, path(c.deepest + 1).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_FILENAME_EXCED_RANGE);
        ASSERT_EQ(RegCreateKeyExA(c.root, path(c.deepest).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    // tessaly reports it as a key it cannot create.
    Finished tooDeep = Run(Tessaly(path(510), "V"));
    EXPECT_EQ(tooDeep.status, 1);
    std::string start = "{\"error\":{\"identifier\":\"\",\"message\":\"Failed to Open/Create Key: 'L\\\\L";
    EXPECT_EQ(tooDeep.out.substr(0, start.size()), start);
    EXPECT_EQ(tooDeep.err, "");
}
