// A create of a key this process opened before takes the key's id from the process's cache and
// leaves the check to the handle's first use: what another process or this one did to the key in
// between must still be seen, as if every create had looked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store_fixture.h"
#include "support/process.h"

namespace {

using support::Finished;
using support::run_process;

class KeyCacheTest : public StoreTest {
protected:
    Finished Reg(const std::vector<std::string> &args)
    {
        return run_process(REG_PROGRAM, args, {"WIN32_STANDIN_REGISTRY=" + StorePath()});
    }

    // What tessaly does: create or open without asking for the disposition, set, close.
    static LONG Write(const char *path, const char *name, DWORD value)
    {
        HKEY key;
        LONG status =
            RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) return status;
        status = RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, 4);
        RegCloseKey(key);
        return status;
    }

    std::string Listing(const char *key) { return Reg({"query", key}).out; }
};

} // namespace

TEST_F(KeyCacheTest, KeyDeletedByAnotherProcessIsMadeAgain)
{
    ASSERT_EQ(Write("Software\\Cached", "First", 1), ERROR_SUCCESS);
    ASSERT_EQ(Reg({"delete", "HKCU\\Software\\Cached", "/f"}).status, 0);
    ASSERT_EQ(Write("software\\cached", "Second", 2), ERROR_SUCCESS);
    EXPECT_EQ(Listing("HKCU\\Software\\Cached"),
              "\r\nHKEY_CURRENT_USER\\Software\\Cached\r\n    Second    REG_DWORD    0x2\r\n\r\n");
}

TEST_F(KeyCacheTest, KeyMadeAnewByAnotherProcessGetsTheWrite)
{
    ASSERT_EQ(Write("Software\\Cached\\Deep", "First", 1), ERROR_SUCCESS);
    ASSERT_EQ(Reg({"delete", "HKCU\\Software\\Cached", "/f"}).status, 0);
    ASSERT_EQ(Reg({"add", "HKCU\\Software\\Cached\\Deep", "/v", "Theirs", "/t", "REG_DWORD", "/d", "3", "/f"})
                  .status,
              0);
    ASSERT_EQ(Write("Software\\Cached\\Deep", "Mine", 4), ERROR_SUCCESS);
    EXPECT_EQ(Listing("HKCU\\Software\\Cached\\Deep"),
              "\r\nHKEY_CURRENT_USER\\Software\\Cached\\Deep\r\n"
              "    Theirs    REG_DWORD    0x3\r\n    Mine    REG_DWORD    0x4\r\n\r\n");
}

TEST_F(KeyCacheTest, UnusedHandleStillLeavesItsKey)
{
    ASSERT_EQ(Write("Software\\Cached", "First", 1), ERROR_SUCCESS);
    ASSERT_EQ(Reg({"delete", "HKCU\\Software\\Cached", "/f"}).status, 0);
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Cached", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\Cached"}).status, 0);
    EXPECT_EQ(StandinRegOpenHandles(), 0);
}

TEST_F(KeyCacheTest, AskedDispositionIsTheStoresAnswer)
{
    ASSERT_EQ(Write("Software\\Cached", "First", 1), ERROR_SUCCESS);
    ASSERT_EQ(Reg({"delete", "HKCU\\Software\\Cached", "/f"}).status, 0);
    HKEY key;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Cached", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, (DWORD)REG_CREATED_NEW_KEY);
    RegCloseKey(key);
}

TEST_F(KeyCacheTest, KeyThisProcessDeletesAfterTheCreateIsGoneForTheHandle)
{
    struct Case {
        const char *what;
        LONG (*remove)();
    };
    const Case cases[] = {
        {"RegDeleteTreeA", [] { return RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Cached"); }},
        {"RegDeleteKeyA", [] { return RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Cached"); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Write("Software\\Cached", "First", 1), ERROR_SUCCESS);
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Cached", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(c.remove(), ERROR_SUCCESS);
        DWORD value = 2;
        EXPECT_EQ(RegSetValueExA(key, "Second", 0, REG_DWORD, (const BYTE *)&value, 4), ERROR_KEY_DELETED);
        RegCloseKey(key);
        EXPECT_EQ(Reg({"query", "HKCU\\Software\\Cached"}).status, 1);
    }
}
