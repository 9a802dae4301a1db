// The registry stand-in's behaviour, function by function, against Windows' documented and
// observed results.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "store_fixture.h"

namespace {

const HKEY kSentinel = (HKEY)(uintptr_t)0x5e57;

using RegistryTest = StoreTest;

} // namespace

// Status of a create with tessaly's arguments; *key receives the handle (closed by the caller).
static LONG Create(HKEY root, const char *path, HKEY *key, DWORD *disposition = nullptr,
                   REGSAM access = KEY_ALL_ACCESS)
{
    *key = kSentinel;
    return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key,
                           disposition);
}

// Status of an open; a key it opened is closed again, and a failed open must leave a null key.
static LONG OpenStatus(HKEY root, const char *path, REGSAM access = KEY_READ)
{
    HKEY key = kSentinel;
    LONG status = RegOpenKeyExA(root, path, 0, access, &key);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    else
        EXPECT_EQ(key, nullptr) << path;
    return status;
}

static bool KeyExists(HKEY root, const char *path) { return OpenStatus(root, path) == ERROR_SUCCESS; }

// The stored names of the subkeys of root\path, in creation order.
static std::vector<std::string> Subkeys(HKEY root, const char *path)
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    char name[300];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = sizeof name) {
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

static std::vector<std::string> ValueNames(HKEY key)
{
    std::vector<std::string> names;
    std::vector<char> name(16384);
    DWORD size = (DWORD)name.size();
    for (DWORD i = 0;
         RegEnumValueA(key, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = (DWORD)name.size()) {
        names.emplace_back(name.data(), size);
    }
    return names;
}

namespace {

// The raw bytes of a value, with its type; status ERROR_SUCCESS when found.
struct Stored {
    LONG status;
    DWORD type;
    std::vector<BYTE> bytes;
};

} // namespace

static Stored Read(HKEY key, const char *name)
{
    Stored stored{0, 0xEEEE, std::vector<BYTE>(64, 0xCD)};
    DWORD size = (DWORD)stored.bytes.size();
    stored.status = RegQueryValueExA(key, name, nullptr, &stored.type, stored.bytes.data(), &size);
    if (stored.status == ERROR_SUCCESS) stored.bytes.resize(size);
    return stored;
}

static LONG SetDword(HKEY key, const char *name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof value);
}

// ---- subkey paths

TEST_F(RegistryTest, SubkeyPathsAreSplitAtBackslashesOnly)
{
    struct Case {
        const char *path;
        const char *opensAs;               // a spelling that must reach the same key afterwards
        std::vector<std::string> children; // what the first level then holds
    };
    const Case cases[] = {
        {"Plain\\A\\B\\C", "plain\\a\\B\\c", {"A"}},
        {"Trail\\\\", "Trail", {}},
        {"Doubled\\\\\\Inner", "Doubled\\Inner", {"Inner"}},
        {"Slash/fwd", "slash/FWD", {}},
        {"Odd\\ sp.a*ce?\t.", "ODD\\ SP.A*CE?\t.", {" sp.a*ce?\t."}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        HKEY key;
        DWORD disposition = 0;
        ASSERT_EQ(Create(HKEY_CURRENT_USER, c.path, &key, &disposition), ERROR_SUCCESS);
        EXPECT_EQ(disposition, (DWORD)REG_CREATED_NEW_KEY);
        ASSERT_EQ(SetDword(key, "Mark", 7), ERROR_SUCCESS);
        RegCloseKey(key);

        ASSERT_EQ(Create(HKEY_CURRENT_USER, c.opensAs, &key, &disposition), ERROR_SUCCESS);
        EXPECT_EQ(disposition, (DWORD)REG_OPENED_EXISTING_KEY);
        EXPECT_EQ(Read(key, "mark").status, ERROR_SUCCESS);
        RegCloseKey(key);
        std::string first = std::string(c.path).substr(0, std::string(c.path).find('\\'));
        EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, first.c_str()), c.children);
    }
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, ""),
              (std::vector<std::string>{"Plain", "Trail", "Doubled", "Slash/fwd", "Odd"}));
    EXPECT_EQ(StandinRegOpenHandles(), 0);
}

TEST_F(RegistryTest, LeadingBackslashIsRefusedAndCreatesNothing)
{
    HKEY key;
    EXPECT_EQ(Create(HKEY_CURRENT_USER, "\\Lead\\Sub", &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, ""), std::vector<std::string>{});
    EXPECT_EQ(StandinRegOpenHandles(), 0);
}

TEST_F(RegistryTest, EmptySubkeyOpensTheKeyItselfThroughANewHandle)
{
    HKEY parent, again;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Self", &parent), ERROR_SUCCESS);
    ASSERT_EQ(Create(parent, "", &again), ERROR_SUCCESS);
    EXPECT_NE(again, parent);
    EXPECT_EQ(StandinRegOpenHandles(), 2);
    ASSERT_EQ(SetDword(again, "Through", 1), ERROR_SUCCESS);
    EXPECT_EQ(Read(parent, "Through").status, ERROR_SUCCESS);
    RegCloseKey(again);
    RegCloseKey(parent);

    // Below a root, "" also gives a handle of its own that must be closed.
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "", &again), ERROR_SUCCESS);
    EXPECT_NE(again, HKEY_CURRENT_USER);
    EXPECT_EQ(StandinRegOpenHandles(), 1);
    RegCloseKey(again);
    EXPECT_EQ(StandinRegOpenHandles(), 0);
}

TEST_F(RegistryTest, EveryMissingLevelIsCreatedAndKeepsItsFirstSpelling)
{
    HKEY key;
    DWORD disposition = 0;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "L1\\L2\\L3\\L4", &key, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, (DWORD)REG_CREATED_NEW_KEY);
    RegCloseKey(key);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "L1\\L2\\L3"));

    ASSERT_EQ(Create(HKEY_CURRENT_USER, "l1\\L2\\NEW", &key, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, (DWORD)REG_CREATED_NEW_KEY);
    RegCloseKey(key);
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, "L1\\L2"), (std::vector<std::string>{"L3", "NEW"}));
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, ""), std::vector<std::string>{"L1"});
}

TEST_F(RegistryTest, ComponentLengthLimit)
{
    struct Case {
        size_t length;
        LONG status;
    };
    const Case cases[] = {{255, ERROR_SUCCESS},
                          {256, ERROR_SUCCESS},
                          {257, ERROR_INVALID_PARAMETER},
                          {1000, ERROR_INVALID_PARAMETER}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        std::string path = "Len\\" + std::string(c.length, 'z');
        HKEY key;
        EXPECT_EQ(Create(HKEY_CURRENT_USER, path.c_str(), &key), c.status);
        if (c.status == ERROR_SUCCESS) {
            RegCloseKey(key);
        } else {
            EXPECT_EQ(key, nullptr);
        }
    }
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, "Len"),
              (std::vector<std::string>{std::string(255, 'z'), std::string(256, 'z')}));
    EXPECT_EQ(StandinRegOpenHandles(), 0);
}

TEST_F(RegistryTest, LevelsMadeBeforeAFailingLevelStay)
{
    std::string path = "S1\\S2\\" + std::string(257, 'z') + "\\S4";
    HKEY key;
    EXPECT_EQ(Create(HKEY_CURRENT_USER, path.c_str(), &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key, nullptr);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "S1\\S2"));
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, "S1\\S2"), std::vector<std::string>{});
}

// ---- values

TEST_F(RegistryTest, DwordIsStoredAsItsLittleEndianBytes)
{
    HKEY key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Values", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "DwordVal", 0x12345678), ERROR_SUCCESS);
    Stored stored = Read(key, "DwordVal");
    EXPECT_EQ(stored.status, ERROR_SUCCESS);
    EXPECT_EQ(stored.type, (DWORD)REG_DWORD);
    EXPECT_EQ(stored.bytes, (std::vector<BYTE>{0x78, 0x56, 0x34, 0x12}));
    RegCloseKey(key);
}

TEST_F(RegistryTest, ValueDataIsStoredExactlyAsGiven)
{
    HKEY key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Values", &key), ERROR_SUCCESS);
    const BYTE bytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Case {
        const char *name;
        DWORD type;
        DWORD size;
    };
    const Case cases[] = {{"Three", REG_DWORD, 3},
                          {"Eight", REG_DWORD, 8},
                          {"Empty", REG_DWORD, 0},
                          {"Binary", REG_BINARY, 5},
                          {"Text", REG_SZ, 4}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(RegSetValueExA(key, c.name, 0, c.type, bytes, c.size), ERROR_SUCCESS);
        Stored stored = Read(key, c.name);
        EXPECT_EQ(stored.type, c.type);
        EXPECT_EQ(stored.bytes, std::vector<BYTE>(bytes, bytes + c.size));
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, OverwritingReplacesTypeAndDataAndKeepsTheFirstSpelling)
{
    HKEY key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Values", &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "DwordVal", 0, REG_SZ, (const BYTE *)"text", 5), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "Second", 2), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "DWORDVAL", 9), ERROR_SUCCESS);
    Stored stored = Read(key, "dwordval");
    EXPECT_EQ(stored.type, (DWORD)REG_DWORD);
    EXPECT_EQ(stored.bytes, (std::vector<BYTE>{9, 0, 0, 0}));
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"DwordVal", "Second"}));
    RegCloseKey(key);
}

TEST_F(RegistryTest, EmptyAndNullNamesAddressTheDefaultValue)
{
    HKEY key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Values", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "", 5), ERROR_SUCCESS);
    EXPECT_EQ(Read(key, nullptr).bytes, (std::vector<BYTE>{5, 0, 0, 0}));
    ASSERT_EQ(SetDword(key, nullptr, 6), ERROR_SUCCESS);
    EXPECT_EQ(Read(key, "").bytes, (std::vector<BYTE>{6, 0, 0, 0}));
    EXPECT_EQ(ValueNames(key), std::vector<std::string>{""});
    EXPECT_EQ(RegDeleteValueA(key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(Read(key, "").status, ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryTest, SetValueRefusals)
{
    HKEY key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Values", &key), ERROR_SUCCESS);
    const DWORD value = 1;
    const std::string longest(16383, 'v');
    const std::string tooLong(16384, 'v');
    struct Case {
        const char *what;
        const char *name;
        const BYTE *data;
        DWORD size;
        LONG status;
    };
    const Case cases[] = {
        {"name of 16,383", longest.c_str(), (const BYTE *)&value, 4, ERROR_SUCCESS},
        {"name of 16,384", tooLong.c_str(), (const BYTE *)&value, 4, ERROR_INVALID_PARAMETER},
        {"null data with a size", "NoData", nullptr, 4, ERROR_NOACCESS},
        {"null data without a size", "Nothing", nullptr, 0, ERROR_SUCCESS},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RegSetValueExA(key, c.name, 0, REG_DWORD, c.data, c.size), c.status);
    }
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{longest, "Nothing"}));
    RegCloseKey(key);

    // A handle opened for reading only may not write.
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Values", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, "ReadOnly", 1), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

TEST_F(RegistryTest, QueryBufferRules)
{
    HKEY key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Values", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "V", 0xA1B2C3D4), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    BYTE small[3] = {0xCD, 0xCD, 0xCD};
    size = 3;
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    BYTE exact[5] = {0, 0, 0, 0, 0xCD};
    size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, &type, exact, &size), ERROR_SUCCESS);
    EXPECT_EQ(exact[4], 0xCD);
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, &type, exact, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumerationFollowsCreationOrderAndBufferRules)
{
    HKEY key, child;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Enum", &key), ERROR_SUCCESS);
    for (const char *name : {"Zulu", "alpha", "Mike"}) {
        ASSERT_EQ(SetDword(key, name, 1), ERROR_SUCCESS);
        ASSERT_EQ(Create(key, name, &child), ERROR_SUCCESS);
        RegCloseKey(child);
    }
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"Zulu", "alpha", "Mike"}));
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, "Enum"), (std::vector<std::string>{"Zulu", "alpha", "Mike"}));

    char name[8] = "#######";
    DWORD size = 4; // room for "Zul" and the terminator: one short
    EXPECT_EQ(RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    size = 5;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_STREQ(name, "Zulu");
    EXPECT_EQ(name[6], '#');
    size = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 3, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyExA(key, 3, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(RegistryTest, OpenToleratesALeadingBackslashBelowClassesRootOnly)
{
    EXPECT_EQ(OpenStatus(HKEY_CLASSES_ROOT, "\\"), ERROR_SUCCESS);
    EXPECT_EQ(OpenStatus(HKEY_LOCAL_MACHINE, "\\SOFTWARE"), ERROR_BAD_PATHNAME);
    EXPECT_EQ(StandinRegOpenHandles(), 0);
}

// ---- handles

TEST_F(RegistryTest, BadHandlesAreRefusedWithoutBeingUsed)
{
    HKEY closed;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Handles", &closed), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    const HKEY bad[] = {nullptr, closed, (HKEY)(uintptr_t)0x1234, (HKEY)(uintptr_t)0x80000004};
    for (HKEY handle : bad) {
        SCOPED_TRACE((uintptr_t)handle);
        HKEY key;
        EXPECT_EQ(Create(handle, "Sub", &key), ERROR_INVALID_HANDLE);
        EXPECT_EQ(key, nullptr);
        EXPECT_EQ(RegOpenKeyExA(handle, "Sub", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
        EXPECT_EQ(SetDword(handle, "V", 1), ERROR_INVALID_HANDLE);
        EXPECT_EQ(Read(handle, "V").status, ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteValueA(handle, "V"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(handle), ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(StandinRegOpenHandles(), 0);
}

TEST_F(RegistryTest, OpenHandlesAreCounted)
{
    HKEY first, second, root;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Count", &first), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Count", 0, KEY_READ, &second), ERROR_SUCCESS);
    // Opening "" below a predefined root gives the root itself, which is not counted.
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &root), ERROR_SUCCESS);
    EXPECT_EQ(root, HKEY_CURRENT_USER);
    EXPECT_EQ(StandinRegOpenHandles(), 2);
    EXPECT_EQ(RegCloseKey(first), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    EXPECT_EQ(StandinRegOpenHandles(), 1);
    EXPECT_EQ(RegCloseKey(second), ERROR_SUCCESS);
    EXPECT_EQ(StandinRegOpenHandles(), 0);
    // Changing stores closes what was open on the old one.
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Count", &first), ERROR_SUCCESS);
    UseStore(FALSE);
    EXPECT_EQ(StandinRegOpenHandles(), 0);
    EXPECT_EQ(SetDword(first, "V", 1), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, KeyDeletedBehindAnOpenHandle)
{
    HKEY key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Gone\\Child", &key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Gone"), ERROR_ACCESS_DENIED); // it has a subkey
    ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Gone"), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, "V", 1), ERROR_KEY_DELETED);
    EXPECT_EQ(Read(key, "V").status, ERROR_KEY_DELETED);
    HKEY child;
    EXPECT_EQ(Create(key, "Again", &child), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    // A key made again with the same name is another key: the old handle stays dead.
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Gone\\Child", &key), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, "V", 1), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(StandinRegOpenHandles(), 0);
}

TEST_F(RegistryTest, DeletingKeysAndValues)
{
    HKEY key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Del\\Leaf", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "V", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "del\\LEAF"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Del\\Leaf"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Del\\Leaf", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, "Del"), std::vector<std::string>{});
}

// ---- access

TEST_F(RegistryTest, OrdinaryUserMayWriteOnlyTheCurrentUsersKeys)
{
    struct Case {
        const char *root;
        HKEY handle;
        LONG status;
    };
    const Case cases[] = {
        {"HKLM", HKEY_LOCAL_MACHINE, ERROR_ACCESS_DENIED},  {"HKCR", HKEY_CLASSES_ROOT, ERROR_ACCESS_DENIED},
        {"HKCC", HKEY_CURRENT_CONFIG, ERROR_ACCESS_DENIED}, {"HKU", HKEY_USERS, ERROR_ACCESS_DENIED},
        {"HKCU", HKEY_CURRENT_USER, ERROR_SUCCESS},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.root);
        HKEY key;
        EXPECT_EQ(Create(c.handle, "Software\\Probe", &key), c.status);
        if (key != nullptr) RegCloseKey(key);
        EXPECT_EQ(KeyExists(c.handle, "Software\\Probe"), c.status == ERROR_SUCCESS);
        // Reading is allowed, creating is not, even without asking for write access.
        EXPECT_EQ(Create(c.handle, "Other", &key, nullptr, KEY_READ), c.status);
        if (key != nullptr) RegCloseKey(key);
        EXPECT_EQ(SetDword(c.handle, "Direct", 1), c.status);
    }
    EXPECT_EQ(OpenStatus(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes"), ERROR_SUCCESS);
    EXPECT_EQ(OpenStatus(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_ALL_ACCESS), ERROR_ACCESS_DENIED);
    EXPECT_EQ(StandinRegOpenHandles(), 0);
}

TEST_F(RegistryTest, AdministratorWritesEveryRootAndAliasesShareKeys)
{
    UseStore(TRUE);
    const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_USERS,
                          HKEY_CURRENT_USER};
    for (HKEY root : roots) {
        SCOPED_TRACE((uintptr_t)root);
        HKEY key;
        ASSERT_EQ(Create(root, "AdminProbe", &key), ERROR_SUCCESS);
        EXPECT_EQ(SetDword(key, "V", 1), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\AdminProbe"));
    EXPECT_TRUE(
        KeyExists(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Hardware Profiles\\Current\\AdminProbe"));
    // The keys behind the aliased roots cannot be removed.
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ""));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "AdminProbe"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "AdminProbe"));
    // An ordinary user's store over the same file sees the keys but may not write them.
    UseStore(FALSE);
    HKEY key;
    EXPECT_EQ(Create(HKEY_USERS, "AdminProbe", &key), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(KeyExists(HKEY_USERS, "AdminProbe"));
}

// ---- scripted failures and the store

TEST_F(RegistryTest, ScriptedFailureHitsTheNextCallOnly)
{
    HKEY key;
    StandinRegFailNext("RegCreateKeyExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Create(HKEY_CURRENT_USER, "Scripted", &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, nullptr);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Scripted"));
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Scripted", &key), ERROR_SUCCESS);

    StandinRegFailNext("RegSetValueExA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(SetDword(key, "V", 1), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Read(key, "V").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetDword(key, "V", 1), ERROR_SUCCESS);

    StandinRegFailNext("RegSetValueExA", ERROR_ACCESS_DENIED);
    StandinRegFailNext(nullptr, 0);
    EXPECT_EQ(SetDword(key, "V", 2), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegistryTest, StoreComesFromTheEnvironmentByDefault)
{
    std::string named = Folder() + "/named.db";
    std::string xdg = Folder() + "/xdg";
    ASSERT_EQ(setenv("XDG_DATA_HOME", xdg.c_str(), 1), 0);
    struct Case {
        const char *what;
        const char *registry; // WIN32_STANDIN_REGISTRY, or null for unset
        const char *admin;    // WIN32_STANDIN_REGISTRY_ADMIN, or null for unset
        std::string file;
        LONG machineStatus;
    };
    const Case cases[] = {
        {"named file", named.c_str(), nullptr, named, ERROR_ACCESS_DENIED},
        {"named file, administrator", named.c_str(), "1", named, ERROR_SUCCESS},
        {"per-user file", nullptr, "0", xdg + "/win32-standin/registry.db", ERROR_ACCESS_DENIED},
        {"per-user file, empty name", "", "1", xdg + "/win32-standin/registry.db", ERROR_SUCCESS},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.registry != nullptr)
            setenv("WIN32_STANDIN_REGISTRY", c.registry, 1);
        else
            unsetenv("WIN32_STANDIN_REGISTRY");
        if (c.admin != nullptr)
            setenv("WIN32_STANDIN_REGISTRY_ADMIN", c.admin, 1);
        else
            unsetenv("WIN32_STANDIN_REGISTRY_ADMIN");
        StandinRegUseStore(nullptr, TRUE); // the argument does not matter without a path
        HKEY key;
        ASSERT_EQ(Create(HKEY_CURRENT_USER, c.what, &key), ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, c.what, &key), c.machineStatus);
        if (key != nullptr) RegCloseKey(key);

        StandinRegUseStore(c.file.c_str(), FALSE);
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, c.what));
    }
    unsetenv("WIN32_STANDIN_REGISTRY");
    unsetenv("WIN32_STANDIN_REGISTRY_ADMIN");
    unsetenv("XDG_DATA_HOME");
}

TEST_F(RegistryTest, UnusableStoreFileFailsEveryCall)
{
    std::string notAFile = Folder() + "/folder.db";
    ASSERT_EQ(mkdir(notAFile.c_str(), 0700), 0);
    StandinRegUseStore(notAFile.c_str(), FALSE);
    HKEY key;
    EXPECT_EQ(Create(HKEY_CURRENT_USER, "Any", &key), ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "V", 1), ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(StandinRegOpenHandles(), 0);
}
