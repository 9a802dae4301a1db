// tessaly through the stand-in host: accepted inputs, every error with its message, the message
// bound. Portable: here into a fresh stand-in store per test, and in the Windows build under wine
// into the real registry, each test below a key of its own; values read back through the registry
// functions and through reg (the stand-in's, or the system's).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "mexhost.h"
#include "support/arrays.h"
#include "support/plugin_test.h"
#include "support/process.h"
#include "support/text.h"

#ifndef _WIN32
#include <standin/registry.h>

#include "store_fixture.h"
#endif

const std::string kUsage =
    "Four inputs required.\n\nExample:\ntessaly('HKLM','Software\\MyProg','TheValue',33);";
const std::string kBadTypes = "Inputs 1-3 must be a strings and input 4 must be a UINT32 (i.e. DWORD).";
const std::string kEmptyValue = "Input 4 must hold at least one UINT32 value.";

// Every key the tests write lies below this one, in a subkey named after the test.
const char kTestKey[] = "Software\\TessalyTest";

const char *const kRoots[] = {"HKCU", "HKLM", "HKCR", "HKCC", "HKU"};

static mxArray *Text(const std::string &text) { return support::char_row(text); }

static mxArray *Numeric(mxClassID cls)
{
    int dims[] = {1, 1};
    return mxCreateNumericArray_700(2, dims, cls, mxREAL);
}

static HKEY RootOf(const std::string &name)
{
    if (name == "HKLM") return HKEY_LOCAL_MACHINE;
    if (name == "HKCR") return HKEY_CLASSES_ROOT;
    if (name == "HKCC") return HKEY_CURRENT_CONFIG;
    if (name == "HKU") return HKEY_USERS;
    return HKEY_CURRENT_USER;
}

// Where wine answers otherwise than Windows, a row expects wine's answer under wine and says so;
// Windows (and the stand-in) stay the model.
static bool OnWine()
{
#ifdef _WIN32
    static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
#else
    return false;
#endif
}

namespace {

#ifdef _WIN32
// The registry is the machine's; each test cleans its own keys.
class RegistryTest : public ::testing::Test {
protected:
    void UseStore(BOOL) {} // wine runs every program as an administrator
};
#else
using RegistryTest = StoreTest;
#endif

class Tessaly : public support::PluginTest<RegistryTest> {
protected:
    static void SetUpTestSuite() { load_plugin(TESSALY_PLUGIN); }

    static void TearDownTestSuite() { unload_plugin(); }

    void SetUp() override
    {
        RegistryTest::SetUp();
        own_ = std::string(kTestKey) + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RemoveOwnKeys(); // left over from an interrupted run
    }

    void TearDown() override
    {
        RemoveOwnKeys();
        RegistryTest::TearDown();
    }

    // ctest runs tests side by side, each in a process of its own: under wine they share the
    // registry, so each removes its own keys before and after it runs.
    void RemoveOwnKeys()
    {
#ifdef _WIN32
        for (const char *root : kRoots) RegDeleteTreeA(RootOf(root), Own(root).c_str());
#endif
    }

    // The test's own subkey below a root, as tessaly's Key; below HKU only loaded hives take keys.
    std::string Own(const std::string &root = "HKCU") const
    {
        return root == "HKU" ? ".DEFAULT\\" + own_ : own_;
    }

    // Write access below every root: the stand-in's store opened as an administrator's. wine's
    // programs have it already; on Windows a non-elevated MATLAB has it below HKCU only.
    void AsAdministrator() { UseStore(TRUE); }

    // Calls tessaly with the given inputs (destroyed afterwards) and checks that no output came
    // back and, on the stand-in, that no key handle stayed open, whatever the outcome.
    mexhost::CallResult Call(const std::vector<mxArray *> &inputs, int nlhs = 0)
    {
        mexhost::CallOptions options;
        options.nlhs = nlhs;
        mexhost::CallResult result = run(inputs, options);
#ifndef _WIN32
        EXPECT_EQ(StandinRegOpenHandles(), 0);
#endif
        EXPECT_TRUE(result.outputs.empty());
        return result;
    }

    mexhost::CallResult Call(const std::string &base, const std::string &key, const std::string &name,
                             std::vector<uint32_t> values)
    {
        return Call({Text(base), Text(key), Text(name), mexhost::make_uint32(values)});
    }

    static void ExpectError(const mexhost::CallResult &result, const std::string &message)
    {
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.identifier, "");
        EXPECT_EQ(result.message, message);
    }

    // The stored REG_DWORD bytes of root\key\name, empty when the value is absent.
    static std::vector<BYTE> Stored(HKEY root, const std::string &key, const char *name,
                                    DWORD *type = nullptr)
    {
        HKEY opened;
        if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return {};
        std::vector<BYTE> bytes(16, 0xCD);
        DWORD size = (DWORD)bytes.size(), storedType = 0;
        LONG status = RegQueryValueExA(opened, name, nullptr, &storedType, bytes.data(), &size);
        RegCloseKey(opened);
        if (status != ERROR_SUCCESS) return {};
        if (type != nullptr) *type = storedType;
        bytes.resize(size);
        return bytes;
    }

    static bool Exists(HKEY root, const std::string &key)
    {
        HKEY opened;
        if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
        RegCloseKey(opened);
        return true;
    }

    // Nothing written: on the stand-in HKCU is as empty as the fresh store made it; under wine the
    // test's own key is absent.
    bool NothingWritten() const
    {
#ifdef _WIN32
        return !Exists(HKEY_CURRENT_USER, Own());
#else
        char name[8];
        DWORD size = sizeof name;
        return RegEnumKeyExA(HKEY_CURRENT_USER, 0, name, &size, nullptr, nullptr, nullptr, nullptr) ==
               ERROR_NO_MORE_ITEMS;
#endif
    }

    // reg with the given arguments, on the test's store here, on the machine's registry under wine.
    support::Finished Reg(const std::vector<std::string> &args) const
    {
#ifdef _WIN32
        return support::run_process("reg", args);
#else
        return support::run_process(
            REG_PROGRAM, args, {"WIN32_STANDIN_REGISTRY=" + StorePath(), "WIN32_STANDIN_REGISTRY_ADMIN=1"});
#endif
    }

    // The type and data reg prints for one value ("REG_DWORD 0x21"), or "" when reg finds none.
    std::string QueryValue(const std::string &key, const std::string &name) const
    {
        support::Finished result = Reg(name.empty() ? std::vector<std::string>{"query", key, "/ve"}
                                                    : std::vector<std::string>{"query", key, "/v", name});
        if (result.status != 0) return "";
        // "    <name>    REG_DWORD    0x21": the value's line; the name may hold blanks.
        std::istringstream lines(result.out);
        for (std::string line; std::getline(lines, line);) {
            size_t type = line.find("    REG_");
            if (type == std::string::npos) continue;
            std::istringstream fields(line.substr(type));
            std::string kind, data;
            fields >> kind >> data;
            return kind + " " + data;
        }
        return "";
    }

    bool KeyExists(const std::string &key) const { return Reg({"query", key}).status == 0; }

    std::string own_;
};

} // namespace

// ---- accepted inputs

TEST_F(Tessaly, EveryBaseKeyWritesIntoItsRoot)
{
    AsAdministrator();
    uint32_t value = 100;
    for (const char *root : kRoots) {
        SCOPED_TRACE(root);
        ++value;
        mexhost::CallResult result = Call(root, Own(root), "TheValue", {value});
        EXPECT_TRUE(result.ok) << result.message;
        DWORD type = 0;
        EXPECT_EQ(Stored(RootOf(root), Own(root), "TheValue", &type),
                  (std::vector<BYTE>{(BYTE)value, 0, 0, 0}));
        EXPECT_EQ(type, (DWORD)REG_DWORD);
    }
    // Each root got its own key: the last write did not land in the others.
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, Own(), "TheValue"), (std::vector<BYTE>{101, 0, 0, 0}));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, Own(), "TheValue"), (std::vector<BYTE>{102, 0, 0, 0}));
}

// Read back with reg, as a user would check.
TEST_F(Tessaly, WritesADwordThatRegReadsBack)
{
    const std::string key = Own(), read = "HKCU\\" + Own();
    const std::string shouted = support::upper_ascii(key);
    const struct {
        const char *title;
        std::string key, name;
        std::vector<uint32_t> values;
        std::string read_key, read_name, expected;
    } cases[] = {
        {"missing subkeys are created",
         key + "\\Level2\\Level3",
         "Answer",
         {33},
         read + "\\Level2\\Level3",
         "Answer",
         "REG_DWORD 0x21"},
        {"only the first element", key, "First", {5, 6}, read, "First", "REG_DWORD 0x5"},
        {"zero", key, "Zero", {0}, read, "Zero", "REG_DWORD 0x0"},
        {"every bit", key, "Ones", {0xFFFFFFFFu}, read, "Ones", "REG_DWORD 0xffffffff"},
        {"byte order", key, "Order", {0x12345678u}, read, "Order", "REG_DWORD 0x12345678"},
        {"the default value", key, "", {7}, read, "", "REG_DWORD 0x7"},
        {"a value name with blanks and a backslash",
         key,
         "Two Words\\Slash",
         {8},
         read,
         "Two Words\\Slash",
         "REG_DWORD 0x8"},
        {"key names ignore case", shouted, "Shouted", {9}, read, "Shouted", "REG_DWORD 0x9"},
        {"a trailing backslash",
         key + "\\Trailing\\",
         "Value",
         {10},
         read + "\\Trailing",
         "Value",
         "REG_DWORD 0xa"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        mexhost::CallResult result = Call("HKCU", c.key, c.name, c.values);
        ASSERT_TRUE(result.ok) << result.message;
        EXPECT_EQ(QueryValue(c.read_key, c.read_name), c.expected);
    }
}

TEST_F(Tessaly, ValueIsTheFirstElementAsFourLittleEndianBytes)
{
    const std::string key = Own() + "\\Values";
    struct Case {
        const char *what;
        mxArray *value;
        std::vector<BYTE> stored;
    };
    const Case cases[] = {
        {"uint32([5 6])", mexhost::make_uint32({5, 6}), {5, 0, 0, 0}},
        {"uint32([9 8; 7 6])", mexhost::make_uint32({9, 7, 8, 6}, {2, 2}), {9, 0, 0, 0}},
        {"uint32(0xDEADBEEF)", mexhost::make_uint32({0xDEADBEEF}), {0xEF, 0xBE, 0xAD, 0xDE}},
        {"uint32(0)", mexhost::make_uint32({0}), {0, 0, 0, 0}},
        {"uint32(4294967295)", mexhost::make_uint32({0xFFFFFFFF}), {0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        mexhost::CallResult result = Call({Text("HKCU"), Text(key), Text(c.what), c.value});
        EXPECT_TRUE(result.ok) << result.message;
        DWORD type = 0;
        EXPECT_EQ(Stored(HKEY_CURRENT_USER, key, c.what, &type), c.stored);
        EXPECT_EQ(type, (DWORD)REG_DWORD);
    }
}

TEST_F(Tessaly, MissingSubkeysAreCreatedAndExistingValuesOverwritten)
{
    const std::string deep = Own() + "\\MyProg\\Deep\\Er";
    ASSERT_FALSE(Exists(HKEY_CURRENT_USER, Own()));
    EXPECT_TRUE(Call("HKCU", deep, "TheValue", {33}).ok);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, deep, "TheValue"), (std::vector<BYTE>{33, 0, 0, 0}));

    EXPECT_TRUE(Call("HKCU", support::lower_ascii(Own()) + "\\myprog\\DEEP\\er", "thevalue", {34}).ok);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, deep, "TheValue"), (std::vector<BYTE>{34, 0, 0, 0}));
    // An empty value name is the key's default value.
    EXPECT_TRUE(Call("HKCU", Own() + "\\MyProg", "", {35}).ok);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, Own() + "\\MyProg", nullptr), (std::vector<BYTE>{35, 0, 0, 0}));
}

TEST_F(Tessaly, ReplacesAValueOfAnyType)
{
    const std::string read = "HKCU\\" + Own();
    ASSERT_EQ(Reg({"add", read, "/v", "Setting", "/t", "REG_SZ", "/d", "text", "/f"}).status, 0);
    ASSERT_EQ(QueryValue(read, "Setting"), "REG_SZ text");

    ASSERT_TRUE(Call("HKCU", Own(), "Setting", {1}).ok);
    EXPECT_EQ(QueryValue(read, "Setting"), "REG_DWORD 0x1");
    ASSERT_TRUE(Call("HKCU", Own(), "SETTING", {2}).ok) << "value names ignore case";
    EXPECT_EQ(QueryValue(read, "Setting"), "REG_DWORD 0x2");
}

TEST_F(Tessaly, WritesBelowEachRoot)
{
    AsAdministrator();
    for (const char *root : kRoots) {
        SCOPED_TRACE(root);
        mexhost::CallResult result = Call(root, Own(root), "Root", {42});
        ASSERT_TRUE(result.ok) << result.message;
        EXPECT_EQ(QueryValue(std::string(root) + "\\" + Own(root), "Root"), "REG_DWORD 0x2a");
    }
}

// ---- errors

TEST_F(Tessaly, WrongNumberOfInputsIsUsage)
{
    const std::string key = Own() + "\\Usage";
    for (int nlhs : {0, 1, 2}) {
        for (int count : {0, 1, 3, 5}) {
            SCOPED_TRACE("nlhs " + std::to_string(nlhs) + ", " + std::to_string(count) + " inputs");
            std::vector<mxArray *> inputs;
            const std::string texts[] = {"HKCU", key, "V"};
            for (int i = 0; i < count; ++i)
                inputs.push_back(i < 3 ? Text(texts[i]) : mexhost::make_uint32({1}));
            ExpectError(Call(inputs, nlhs), kUsage);
        }
    }
    EXPECT_TRUE(NothingWritten());
}

TEST_F(Tessaly, WrongClassInAnyPositionIsBadTypes)
{
    const std::string key = Own() + "\\Types";
    struct Wrong {
        const char *what;
        mxArray *(*make)();
    };
    const Wrong wrong[] = {
        {"double 33", [] { return mexhost::make_double({33}); }},
        {"int32", [] { return mexhost::make_int32({33}); }},
        {"logical", [] { return mexhost::make_logical({true}); }},
        {"uint8", [] { return Numeric(mxUINT8_CLASS); }},
        {"uint64", [] { return Numeric(mxUINT64_CLASS); }},
        {"cell",
         [] {
             return mexhost::make_cell({1, 1}, {Text("HKCU")});
         }},
        {"struct", [] { return mexhost::make_struct(); }},
    };
    for (int position = 0; position < 4; ++position) {
        for (const Wrong &w : wrong) {
            SCOPED_TRACE("input " + std::to_string(position + 1) + ": " + w.what);
            std::vector<mxArray *> inputs{Text("HKCU"), Text(key), Text("V"), mexhost::make_uint32({1})};
            mexhost::destroy(inputs[position]);
            inputs[position] = w.make();
            ExpectError(Call(inputs), kBadTypes);
        }
    }
    // A char where the number belongs, and the types checked before the base key.
    ExpectError(Call({Text("HKCU"), Text(key), Text("V"), Text("33")}), kBadTypes);
    ExpectError(Call({Text("hkcu"), Text(key), Text("V"), mexhost::make_double({33})}), kBadTypes);
    EXPECT_TRUE(NothingWritten());
}

TEST_F(Tessaly, OnlyTheFiveExactBaseKeyNamesAreAccepted)
{
    const char *const names[] = {"hklm", "HKEY_LOCAL_MACHINE", "HKLM ", " HKLM", "Hkcu", "HKU\\", "HKEY", "",
                                 "%s%n"};
    for (const char *name : names) {
        SCOPED_TRACE(name);
        ExpectError(Call(name, Own() + "\\Base", "V", {1}),
                    std::string("Invalid Base Key specified : '") + name + "'");
    }
    EXPECT_TRUE(NothingWritten());
}

// One table of refused calls, each with its whole message and nothing written.
TEST_F(Tessaly, RefusesBadInputsAndWritesNothing)
{
    const std::string key = Own();
    const std::string long_level(257, 'c');
    const struct {
        const char *title;
        std::function<std::vector<mxArray *>()> inputs;
        std::string message;
        bool makes_parent = false; // a level past the limit: the levels before it were made first
    } cases[] = {
        // Count.
        {"no inputs", [] { return std::vector<mxArray *>{}; }, kUsage},
        {"three inputs",
         [&] {
             return std::vector<mxArray *>{Text("HKCU"), Text(key), Text("V")};
         },
         kUsage},
        {"five inputs",
         [&] {
             return std::vector<mxArray *>{Text("HKCU"), Text(key), Text("V"), mexhost::make_uint32({1}),
                                           mexhost::make_uint32({1})};
         },
         kUsage},
        // Classes.
        {"BaseKey a number",
         [&] {
             return std::vector<mxArray *>{mexhost::make_double({1}), Text(key), Text("V"),
                                           mexhost::make_uint32({1})};
         },
         kBadTypes},
        {"Key a number",
         [] {
             return std::vector<mxArray *>{Text("HKCU"), mexhost::make_double({1}), Text("V"),
                                           mexhost::make_uint32({1})};
         },
         kBadTypes},
        {"ValueName a cell",
         [&] {
             return std::vector<mxArray *>{Text("HKCU"), Text(key), mexhost::make_cell({1, 1}, {Text("V")}),
                                           mexhost::make_uint32({1})};
         },
         kBadTypes},
        {"Value a double",
         [&] {
             return std::vector<mxArray *>{Text("HKCU"), Text(key), Text("V"), mexhost::make_double({33})};
         },
         kBadTypes},
        {"Value an int32",
         [&] {
             return std::vector<mxArray *>{Text("HKCU"), Text(key), Text("V"), mexhost::make_int32({33})};
         },
         kBadTypes},
        {"Value a char",
         [&] {
             return std::vector<mxArray *>{Text("HKCU"), Text(key), Text("V"), Text("!")};
         },
         kBadTypes},
        {"Value empty",
         [&] {
             return std::vector<mxArray *>{Text("HKCU"), Text(key), Text("V"),
                                           mexhost::make_empty(mxUINT32_CLASS, {1, 0})};
         },
         kEmptyValue},
        // Base keys: only the five names, exactly.
        {"lower case",
         [&] {
             return std::vector<mxArray *>{Text("hkcu"), Text(key), Text("V"), mexhost::make_uint32({1})};
         },
         "Invalid Base Key specified : 'hkcu'"},
        {"long form",
         [&] {
             return std::vector<mxArray *>{Text("HKEY_CURRENT_USER"), Text(key), Text("V"),
                                           mexhost::make_uint32({1})};
         },
         "Invalid Base Key specified : 'HKEY_CURRENT_USER'"},
        {"trailing blank",
         [&] {
             return std::vector<mxArray *>{Text("HKCU "), Text(key), Text("V"), mexhost::make_uint32({1})};
         },
         "Invalid Base Key specified : 'HKCU '"},
        {"empty",
         [&] {
             return std::vector<mxArray *>{Text(""), Text(key), Text("V"), mexhost::make_uint32({1})};
         },
         "Invalid Base Key specified : ''"},
        // The registry refuses the key.
        {"a leading backslash",
         [&] {
             return std::vector<mxArray *>{Text("HKCU"), Text("\\" + key), Text("V"),
                                           mexhost::make_uint32({1})};
         },
         "Failed to Open/Create Key: '\\Software\\TessalyTest\\RefusesBadInputsAndWritesNothing'"},
        {"a level of 257 characters",
         [&] {
             return std::vector<mxArray *>{Text("HKCU"), Text(key + "\\" + long_level), Text("V"),
                                           mexhost::make_uint32({1})};
         },
         "Failed to Open/Create Key: '" + key + "\\" + long_level + "'", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        mexhost::CallResult result = Call(c.inputs());
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.identifier, "");
        EXPECT_EQ(result.message, c.message);
        // wine checks every level's length before it makes any (flagged: Windows makes them one by
        // one, so the parent stays).
        EXPECT_EQ(KeyExists("HKCU\\" + key), c.makes_parent && !OnWine());
    }
}

TEST_F(Tessaly, OpenFailures)
{
    struct Case {
        const char *what;
        const char *base;
        std::string key;
        std::string message;
        bool standin_only; // an ordinary user's refusal: wine runs every program as an administrator
    };
    const std::string level(257, 'z');
    const Case cases[] = {
        {"HKLM as an ordinary user", "HKLM", "Software\\MyProg",
         "Failed to Open/Create Key: 'Software\\MyProg'", true},
        {"HKCR as an ordinary user", "HKCR", ".myext", "Failed to Open/Create Key: '.myext'", true},
        {"HKCC as an ordinary user", "HKCC", "Software", "Failed to Open/Create Key: 'Software'", true},
        {"HKU as an ordinary user", "HKU", ".DEFAULT\\Software",
         "Failed to Open/Create Key: '.DEFAULT\\Software'", true},
        {"leading backslash", "HKCU", "\\Software\\MyProg", "Failed to Open/Create Key: '\\Software\\MyProg'",
         false},
        {"format text in the key", "HKCU", "\\%s%n%d%%", "Failed to Open/Create Key: '\\%s%n%d%%'", false},
        {"level of 257", "HKCU", Own() + "\\" + level,
         "Failed to Open/Create Key: '" + Own() + "\\" + level + "'", false},
    };
    for (const Case &c : cases) {
        if (c.standin_only && OnWine()) continue;
        SCOPED_TRACE(c.what);
        ExpectError(Call(c.base, c.key, "TheValue", {33}), c.message);
    }
    // The 257-character level failed after its parent was made; the parent stays, as on Windows
    // (wine makes nothing, flagged as in the table above).
    EXPECT_EQ(Exists(HKEY_CURRENT_USER, Own()), !OnWine());
#ifndef _WIN32
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software\\MyProg"));
    StandinRegFailNext("RegCreateKeyExA", ERROR_ACCESS_DENIED);
    ExpectError(Call("HKCU", "Software\\Scripted", "TheValue", {33}),
                "Failed to Open/Create Key: 'Software\\Scripted'");
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Software\\Scripted"));
#endif
}

TEST_F(Tessaly, SetFailuresCloseTheKeyAndLeaveItCreated)
{
    const std::string key = Own() + "\\Set";
    const std::string longName(16384, 'v');
    struct Case {
        const char *what;
        bool scripted; // the next RegSetValueExA made to fail, on the stand-in only
        std::string name;
        std::string message;
    };
    const Case cases[] = {
        {"scripted failure", true, "TheValue", "Failed to Set Value For Key '" + key + "', Value: TheValue"},
        {"format text in the name", true, "%s%n%x",
         "Failed to Set Value For Key '" + key + "', Value: %s%n%x"},
        {"name of 16,384", false, longName,
         ("Failed to Set Value For Key '" + key + "', Value: " + longName).substr(0, 1023)},
    };
    for (const Case &c : cases) {
#ifdef _WIN32
        if (c.scripted) continue;
#else
        if (c.scripted) StandinRegFailNext("RegSetValueExA", ERROR_ACCESS_DENIED);
#endif
        SCOPED_TRACE(c.what);
        ExpectError(Call("HKCU", key, c.name, {33}), c.message);
        EXPECT_TRUE(Exists(HKEY_CURRENT_USER, key));
        EXPECT_EQ(Stored(HKEY_CURRENT_USER, key, c.name.c_str()), std::vector<BYTE>{});
    }
}

// A value name past any registry's limit: the key is made, then the write fails; the message is
// cut at the 1024-byte buffer, terminator included.
TEST_F(Tessaly, ReportsAFailedWriteAndKeepsTheKey)
{
    const std::string name(32767, 'v');
    mexhost::CallResult result = Call("HKCU", Own(), name, {1});
    EXPECT_FALSE(result.ok);
    const std::string message = "Failed to Set Value For Key '" + Own() + "', Value: " + name;
    EXPECT_EQ(result.message, message.substr(0, 1023));
    EXPECT_TRUE(KeyExists("HKCU\\" + Own()));
}

TEST_F(Tessaly, LongInputsAreCutAtTheMessageBound)
{
    // 2,000 characters in 200-character levels, so the key itself is valid.
    std::string key;
    while (key.size() < 2000)
        key += (key.empty() ? "" : "\\") + std::string(199, (char)('a' + key.size() / 200));
    key.resize(2000);
    const std::string base(2000, 'B');
    struct Case {
        const char *what;
        std::string base, key;
        const char *scripted; // the function made to fail, or none; on the stand-in only
        std::string full;     // the whole message before cutting
    };
    const Case cases[] = {
        {"base key", base, "Software", nullptr, "Invalid Base Key specified : '" + base + "'"},
        {"open", "HKCU", key, "RegCreateKeyExA", "Failed to Open/Create Key: '" + key + "'"},
        {"set", "HKCU", key, "RegSetValueExA", "Failed to Set Value For Key '" + key + "', Value: TheValue"},
    };
    for (const Case &c : cases) {
#ifdef _WIN32
        if (c.scripted != nullptr) continue;
#else
        if (c.scripted != nullptr) StandinRegFailNext(c.scripted, ERROR_ACCESS_DENIED);
#endif
        SCOPED_TRACE(c.what);
        mexhost::CallResult result = Call(c.base, c.key, "TheValue", {33});
        ExpectError(result, c.full.substr(0, 1023));
        EXPECT_EQ(result.message.size(), 1023u);
    }
}

TEST_F(Tessaly, EmptyValueWritesNothing)
{
    const std::vector<int> shapes[] = {{0, 0}, {1, 0}, {0, 3}};
    for (const std::vector<int> &shape : shapes) {
        SCOPED_TRACE(std::to_string(shape[0]) + "x" + std::to_string(shape[1]));
        ExpectError(Call({Text("HKCU"), Text(Own() + "\\Empty"), Text("V"),
                          mexhost::make_empty(mxUINT32_CLASS, shape)}),
                    kEmptyValue);
    }
    EXPECT_TRUE(NothingWritten());
}
