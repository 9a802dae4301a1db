// The reg command over the stand-in store: Windows' reg query layout, exit codes and the edits
// of reg add and reg delete, run as a separate process on the test's store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/process.h"
#include "store_fixture.h"

namespace {

using support::Finished;
using support::run_process;

class RegCommandTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        HKEY key, sub;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ProbeTest", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        SetDword(key, "DwordVal", 0x12345678);
        SetDword(key, "Zero", 0);
        SetDword(key, "Max", 0xFFFFFFFF);
        SetDword(key, "", 0xABC);
        ASSERT_EQ(RegSetValueExA(key, "Text", 0, REG_SZ, (const BYTE *)"Hello, World", 13), ERROR_SUCCESS);
        ASSERT_EQ(RegCreateKeyExA(key, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(sub);
        RegCloseKey(key);
    }

    static void SetDword(HKEY key, const char *name, DWORD value)
    {
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, 4), ERROR_SUCCESS);
    }

    Finished Reg(const std::vector<std::string> &args, const char *admin = "0")
    {
        return run_process(
            REG_PROGRAM, args,
            {"WIN32_STANDIN_REGISTRY=" + StorePath(), std::string("WIN32_STANDIN_REGISTRY_ADMIN=") + admin});
    }

    // The DWORD stored at HKCU\path, or -1 when absent.
    static long long Dword(const char *path, const char *name)
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
        DWORD value = 0, size = sizeof value, type = 0;
        LONG status = RegQueryValueExA(key, name, nullptr, &type, (BYTE *)&value, &size);
        RegCloseKey(key);
        return status == ERROR_SUCCESS && type == REG_DWORD && size == 4 ? (long long)value : -1;
    }
};

const char kNotFound[] = "ERROR: The system was unable to find the specified registry key or value.\r\n";

} // namespace

TEST_F(RegCommandTest, QueryPrintsWindowsLayout)
{
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"query", "HKCU\\Software\\ProbeTest", "/v", "DwordVal"},
         "\r\nHKEY_CURRENT_USER\\Software\\ProbeTest\r\n    DwordVal    REG_DWORD    0x12345678\r\n\r\n"},
        {{"query", "hkcu\\software\\probetest\\", "/v", "dwordval"},
         "\r\nHKEY_CURRENT_USER\\software\\probetest\r\n    dwordval    REG_DWORD    0x12345678\r\n\r\n"},
        {{"QUERY", "HKEY_CURRENT_USER\\Software\\ProbeTest", "-V", "Zero"},
         "\r\nHKEY_CURRENT_USER\\Software\\ProbeTest\r\n    Zero    REG_DWORD    0x0\r\n\r\n"},
        {{"query", "HKCU\\Software\\ProbeTest", "/v", "Max"},
         "\r\nHKEY_CURRENT_USER\\Software\\ProbeTest\r\n    Max    REG_DWORD    0xffffffff\r\n\r\n"},
        {{"query", "HKCU\\Software\\ProbeTest", "/ve"},
         "\r\nHKEY_CURRENT_USER\\Software\\ProbeTest\r\n    (Default)    REG_DWORD    0xabc\r\n\r\n"},
        {{"query", "HKCU\\Software\\ProbeTest"},
         "\r\nHKEY_CURRENT_USER\\Software\\ProbeTest\r\n"
         "    DwordVal    REG_DWORD    0x12345678\r\n"
         "    Zero    REG_DWORD    0x0\r\n"
         "    Max    REG_DWORD    0xffffffff\r\n"
         "    (Default)    REG_DWORD    0xabc\r\n"
         "    Text    REG_SZ    Hello, World\r\n"
         "\r\n"
         "HKEY_CURRENT_USER\\Software\\ProbeTest\\Sub\r\n"},
        // A key with subkeys only shows no header of its own.
        {{"query", "HKCU\\Software"}, "\r\nHKEY_CURRENT_USER\\Software\\ProbeTest\r\n"},
        {{"query", "HKCU\\Software\\ProbeTest\\Sub"}, "\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args[1] + (c.args.size() > 2 ? " " + c.args[2] : ""));
        Finished done = Reg(c.args);
        EXPECT_EQ(done.status, 0);
        EXPECT_EQ(done.out, c.out);
        EXPECT_EQ(done.err, "");
    }
}

TEST_F(RegCommandTest, QueryFailures)
{
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"query", "HKCU\\Software\\ProbeTest", "/v", "Missing"}, kNotFound},
        {{"query", "HKCU\\Software\\Missing"}, kNotFound},
        {{"query", "HKCU\\Software\\Missing", "/v", "DwordVal"}, kNotFound},
        {{"query", "HKXY\\Software"}, "ERROR: Invalid key name.\r\n"},
        {{"query"}, "ERROR: Invalid syntax.\r\nType \"REG QUERY /?\" for usage.\r\n"},
        {{"query", "HKCU\\Software\\ProbeTest", "/v"},
         "ERROR: Invalid syntax.\r\nType \"REG QUERY /?\" for usage.\r\n"},
        {{"query", "HKCU\\Software\\ProbeTest", "/v", "Zero", "/ve"},
         "ERROR: Invalid syntax.\r\nType \"REG QUERY /?\" for usage.\r\n"},
        {{"query", "HKCU\\Software\\ProbeTest", "/f"},
         "ERROR: Invalid syntax.\r\nType \"REG QUERY /?\" for usage.\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.size() > 1 ? c.args[1] : "no key");
        Finished done = Reg(c.args);
        EXPECT_EQ(done.status, 1);
        EXPECT_EQ(done.out, "");
        EXPECT_EQ(done.err, c.err);
    }
}

TEST_F(RegCommandTest, AddWritesDwordsAndCreatesKeys)
{
    struct Case {
        const char *data;
        long long stored;
    };
    const Case cases[] = {{"33", 33}, {"0x2A", 42}, {"4294967295", 0xFFFFFFFF}, {"0", 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.data);
        Finished done =
            Reg({"add", "HKCU\\Software\\New\\Deeper", "/v", "Count", "/t", "REG_DWORD", "/d", c.data, "/f"});
        EXPECT_EQ(done.status, 0);
        EXPECT_EQ(done.out, "The operation completed successfully.\r\n");
        EXPECT_EQ(Dword("Software\\New\\Deeper", "Count"), c.stored);
    }
    const char *const refused[] = {"-1", "4294967296", "12ab", "", "0x"};
    for (const char *data : refused) {
        SCOPED_TRACE(data);
        Finished done = Reg({"add", "HKCU\\Software\\New", "/v", "Bad", "/t", "REG_DWORD", "/d", data, "/f"});
        EXPECT_EQ(done.status, 1);
        EXPECT_EQ(done.err, std::string("ERROR: Invalid data '") + data + "' for type REG_DWORD.\r\n");
        EXPECT_EQ(Dword("Software\\New", "Bad"), -1);
    }
}

TEST_F(RegCommandTest, AddWithoutForceKeepsAnExistingValueWhenNotConfirmed)
{
    Finished done = Reg({"add", "HKCU\\Software\\ProbeTest", "/v", "Zero", "/t", "REG_DWORD", "/d", "5"});
    EXPECT_EQ(done.status, 0);
    EXPECT_EQ(done.out, "Value Zero exists, overwrite (Yes/No)? The operation was cancelled.\r\n");
    EXPECT_EQ(Dword("Software\\ProbeTest", "Zero"), 0);
}

TEST_F(RegCommandTest, MachineKeysNeedAnAdministratorsStore)
{
    std::vector<std::string> args{"add", "HKLM\\Software\\Probe", "/v", "V", "/t", "REG_DWORD", "/d", "1",
                                  "/f"};
    Finished denied = Reg(args);
    EXPECT_EQ(denied.status, 1);
    EXPECT_EQ(denied.err, "ERROR: Access is denied.\r\n");
    EXPECT_EQ(Reg({"query", "HKLM\\Software\\Probe"}).status, 1);

    EXPECT_EQ(Reg(args, "1").status, 0);
    Finished query = Reg({"query", "HKEY_LOCAL_MACHINE\\Software\\Probe", "/v", "V"});
    EXPECT_EQ(query.status, 0);
    EXPECT_EQ(query.out, "\r\nHKEY_LOCAL_MACHINE\\Software\\Probe\r\n    V    REG_DWORD    0x1\r\n\r\n");
}

TEST_F(RegCommandTest, DeleteValuesAndWholeKeys)
{
    Finished done = Reg({"delete", "HKCU\\Software\\ProbeTest", "/v", "zero", "/f"});
    EXPECT_EQ(done.status, 0);
    EXPECT_EQ(done.out, "The operation completed successfully.\r\n");
    EXPECT_EQ(Dword("Software\\ProbeTest", "Zero"), -1);
    EXPECT_EQ(Dword("Software\\ProbeTest", "DwordVal"), 0x12345678);

    done = Reg({"delete", "HKCU\\Software\\ProbeTest", "/v", "zero", "/f"});
    EXPECT_EQ(done.status, 1);
    EXPECT_EQ(done.err, kNotFound);

    // Not confirmed (no input): nothing goes.
    done = Reg({"delete", "HKCU\\Software\\ProbeTest"});
    EXPECT_EQ(done.status, 0);
    EXPECT_EQ(done.out,
              "Permanently delete the registry key HKEY_CURRENT_USER\\Software\\ProbeTest (Yes/No)? "
              "The operation was cancelled.\r\n");
    EXPECT_EQ(Dword("Software\\ProbeTest", "DwordVal"), 0x12345678);

    done = Reg({"delete", "HKCU\\Software\\ProbeTest", "/f"});
    EXPECT_EQ(done.status, 0);
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\ProbeTest\\Sub"}).status, 1);
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\ProbeTest"}).status, 1);
    EXPECT_EQ(Reg({"delete", "HKCU\\Software\\ProbeTest", "/f"}).status, 1);
    EXPECT_EQ(Reg({"delete", "HKCU", "/f"}).status, 1);
}

TEST_F(RegCommandTest, NamesBeyondAsciiAreOneNameInEveryCaseAndShownInUtf8)
{
    Finished added =
        Reg({"add", "HKCU\\Software\\Café\\Ωmega", "/v", "Größe", "/t", "REG_DWORD", "/d", "7", "/f"});
    ASSERT_EQ(added.status, 0) << added.err;
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"query", "HKCU\\Software\\CAFÉ\\ωMEGA", "/v", "GRÖßE"},
         "\r\nHKEY_CURRENT_USER\\Software\\CAFÉ\\ωMEGA\r\n    GRÖßE    REG_DWORD    0x7\r\n\r\n"},
        {{"query", "HKCU\\Software\\café\\ΩMEGA"},
         "\r\nHKEY_CURRENT_USER\\Software\\café\\ΩMEGA\r\n    Größe    REG_DWORD    0x7\r\n\r\n"},
        {{"query", "HKCU\\SOFTWARE\\CAFÉ"}, "\r\nHKEY_CURRENT_USER\\SOFTWARE\\CAFÉ\\Ωmega\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args[1]);
        Finished done = Reg(c.args);
        EXPECT_EQ(done.status, 0);
        EXPECT_EQ(done.out, c.out);
    }
    // ß has no capital of one unit: GRÖSSE is another name.
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\Café\\Ωmega", "/v", "GRÖSSE"}).status, 1);
    // The A functions see the same key through byte C9; '?', as they show Ω, names no key.
    EXPECT_EQ(Dword("software\\caf\xC9\\?mega", "Gr\xF6\xDF"
                                                "e"),
              -1);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\caf\xC9", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Reg({"delete", "HKCU\\SOFTWARE\\CAFÉ", "/f"}).status, 0);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Caf\xE9", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}
