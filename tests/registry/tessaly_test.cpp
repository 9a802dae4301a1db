// tessaly through the stand-in host into a fresh registry store per test: accepted inputs, every
// error with its message, the message bound, and no key handle left open on any path.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mexhost.h"
#include "store_fixture.h"
#include "support/plugin_test.h"

namespace {

const char kUsage[] = "Four inputs required.\n\nExample:\ntessaly('HKLM','Software\\MyProg','TheValue',33);";
const char kBadTypes[] = "Inputs 1-3 must be a strings and input 4 must be a UINT32 (i.e. DWORD).";
const char kEmptyValue[] = "Input 4 must hold at least one UINT32 value.";

mxArray *Text(const std::string &text) { return support::char_row(text); }

mxArray *Numeric(mxClassID cls)
{
    int dims[] = {1, 1};
    return mxCreateNumericArray_700(2, dims, cls, mxREAL);
}

class TessalyTest : public support::PluginTest<StoreTest> {
protected:
    static void SetUpTestSuite() { load_plugin(TESSALY_PLUGIN); }

    static void TearDownTestSuite() { unload_plugin(); }

    // Calls tessaly with the given inputs (destroyed afterwards) and checks that no key handle
    // stayed open, whatever the outcome.
    mexhost::CallResult Call(const std::vector<mxArray *> &inputs, int nlhs = 0)
    {
        mexhost::CallOptions options;
        options.nlhs = nlhs;
        mexhost::CallResult result = run(inputs, options);
        EXPECT_EQ(StandinRegOpenHandles(), 0);
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
    static std::vector<BYTE> Stored(HKEY root, const char *key, const char *name, DWORD *type = nullptr)
    {
        HKEY opened;
        if (RegOpenKeyExA(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return {};
        std::vector<BYTE> bytes(16, 0xCD);
        DWORD size = (DWORD)bytes.size(), storedType = 0;
        LONG status = RegQueryValueExA(opened, name, nullptr, &storedType, bytes.data(), &size);
        RegCloseKey(opened);
        if (status != ERROR_SUCCESS) return {};
        if (type != nullptr) *type = storedType;
        bytes.resize(size);
        return bytes;
    }

    static bool Exists(HKEY root, const char *key)
    {
        HKEY opened;
        if (RegOpenKeyExA(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
        RegCloseKey(opened);
        return true;
    }

    static bool CurrentUserIsEmpty()
    {
        char name[8];
        DWORD size = sizeof name;
        return RegEnumKeyExA(HKEY_CURRENT_USER, 0, name, &size, nullptr, nullptr, nullptr, nullptr) ==
               ERROR_NO_MORE_ITEMS;
    }
};

// ---- accepted inputs

TEST_F(TessalyTest, EveryBaseKeyWritesIntoItsRoot)
{
    UseStore(TRUE);
    struct Case {
        const char *name;
        HKEY root;
    };
    const Case cases[] = {{"HKLM", HKEY_LOCAL_MACHINE}, {"HKCU", HKEY_CURRENT_USER}, {"HKCR", HKEY_CLASSES_ROOT},
                          {"HKCC", HKEY_CURRENT_CONFIG}, {"HKU", HKEY_USERS}};
    uint32_t value = 100;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ++value;
        mexhost::CallResult result = Call(c.name, "Software\\TessalyTest", "TheValue", {value});
        EXPECT_TRUE(result.ok) << result.message;
        DWORD type = 0;
        EXPECT_EQ(Stored(c.root, "Software\\TessalyTest", "TheValue", &type),
                  (std::vector<BYTE>{(BYTE)value, 0, 0, 0}));
        EXPECT_EQ(type, (DWORD)REG_DWORD);
    }
    // Each root got its own key: the last write did not land in the others.
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "Software\\TessalyTest", "TheValue"), (std::vector<BYTE>{101, 0, 0, 0}));
}

TEST_F(TessalyTest, ValueIsTheFirstElementAsFourLittleEndianBytes)
{
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
        mexhost::CallResult result = Call({Text("HKCU"), Text("Software\\Values"), Text(c.what), c.value});
        EXPECT_TRUE(result.ok) << result.message;
        DWORD type = 0;
        EXPECT_EQ(Stored(HKEY_CURRENT_USER, "Software\\Values", c.what, &type), c.stored);
        EXPECT_EQ(type, (DWORD)REG_DWORD);
    }
}

TEST_F(TessalyTest, MissingSubkeysAreCreatedAndExistingValuesOverwritten)
{
    ASSERT_FALSE(Exists(HKEY_CURRENT_USER, "Software"));
    EXPECT_TRUE(Call("HKCU", "Software\\MyProg\\Deep\\Er", "TheValue", {33}).ok);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "Software\\MyProg\\Deep\\Er", "TheValue"), (std::vector<BYTE>{33, 0, 0, 0}));

    EXPECT_TRUE(Call("HKCU", "software\\myprog\\DEEP\\er", "thevalue", {34}).ok);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "Software\\MyProg\\Deep\\Er", "TheValue"), (std::vector<BYTE>{34, 0, 0, 0}));
    // An empty value name is the key's default value.
    EXPECT_TRUE(Call("HKCU", "Software\\MyProg", "", {35}).ok);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "Software\\MyProg", nullptr), (std::vector<BYTE>{35, 0, 0, 0}));
}

// ---- errors

TEST_F(TessalyTest, WrongNumberOfInputsIsUsage)
{
    for (int nlhs : {0, 1, 2}) {
        for (int count : {0, 1, 3, 5}) {
            SCOPED_TRACE("nlhs " + std::to_string(nlhs) + ", " + std::to_string(count) + " inputs");
            std::vector<mxArray *> inputs;
            const char *const texts[] = {"HKCU", "Software\\Usage", "V"};
            for (int i = 0; i < count; ++i) inputs.push_back(i < 3 ? Text(texts[i]) : mexhost::make_uint32({1}));
            ExpectError(Call(inputs, nlhs), kUsage);
        }
    }
    EXPECT_TRUE(CurrentUserIsEmpty());
}

TEST_F(TessalyTest, WrongClassInAnyPositionIsBadTypes)
{
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
        {"cell", [] { return mexhost::make_cell({1, 1}, {Text("HKCU")}); }},
        {"struct", [] { return mexhost::make_struct(); }},
    };
    for (int position = 0; position < 4; ++position) {
        for (const Wrong &w : wrong) {
            SCOPED_TRACE("input " + std::to_string(position + 1) + ": " + w.what);
            std::vector<mxArray *> inputs{Text("HKCU"), Text("Software\\Types"), Text("V"),
                                          mexhost::make_uint32({1})};
            mexhost::destroy(inputs[position]);
            inputs[position] = w.make();
            ExpectError(Call(inputs), kBadTypes);
        }
    }
    // A char where the number belongs, and the types checked before the base key.
    ExpectError(Call({Text("HKCU"), Text("Software\\Types"), Text("V"), Text("33")}), kBadTypes);
    ExpectError(Call({Text("hkcu"), Text("Software\\Types"), Text("V"), mexhost::make_double({33})}), kBadTypes);
    EXPECT_TRUE(CurrentUserIsEmpty());
}

TEST_F(TessalyTest, OnlyTheFiveExactBaseKeyNamesAreAccepted)
{
    const char *const names[] = {"hklm", "HKEY_LOCAL_MACHINE", "HKLM ", " HKLM", "Hkcu", "HKU\\", "HKEY", "", "%s%n"};
    for (const char *name : names) {
        SCOPED_TRACE(name);
        ExpectError(Call(name, "Software\\Base", "V", {1}),
                    std::string("Invalid Base Key specified : '") + name + "'");
    }
    EXPECT_TRUE(CurrentUserIsEmpty());
}

TEST_F(TessalyTest, OpenFailures)
{
    struct Case {
        const char *what;
        const char *base;
        std::string key;
        std::string message;
    };
    const Case cases[] = {
        {"HKLM as an ordinary user", "HKLM", "Software\\MyProg", "Failed to Open/Create Key: 'Software\\MyProg'"},
        {"HKCR as an ordinary user", "HKCR", ".myext", "Failed to Open/Create Key: '.myext'"},
        {"HKCC as an ordinary user", "HKCC", "Software", "Failed to Open/Create Key: 'Software'"},
        {"HKU as an ordinary user", "HKU", ".DEFAULT\\Software", "Failed to Open/Create Key: '.DEFAULT\\Software'"},
        {"leading backslash", "HKCU", "\\Software\\MyProg", "Failed to Open/Create Key: '\\Software\\MyProg'"},
        {"format text in the key", "HKCU", "\\%s%n%d%%", "Failed to Open/Create Key: '\\%s%n%d%%'"},
        {"level of 257", "HKCU", "Software\\" + std::string(257, 'z'),
         "Failed to Open/Create Key: 'Software\\" + std::string(257, 'z') + "'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ExpectError(Call(c.base, c.key, "TheValue", {33}), c.message);
    }
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software\\MyProg"));
    // The 257-character level failed after its parent was made; the parent stays, as on Windows.
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "Software"));
    StandinRegFailNext("RegCreateKeyExA", ERROR_ACCESS_DENIED);
    ExpectError(Call("HKCU", "Software\\Scripted", "TheValue", {33}), "Failed to Open/Create Key: 'Software\\Scripted'");
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Software\\Scripted"));
}

TEST_F(TessalyTest, SetFailuresCloseTheKeyAndLeaveItCreated)
{
    const std::string longName(16384, 'v');
    struct Case {
        const char *what;
        bool scripted;  // the next RegSetValueExA made to fail
        std::string name;
        std::string message;
    };
    const Case cases[] = {
        {"scripted failure", true, "TheValue", "Failed to Set Value For Key 'Software\\Set', Value: TheValue"},
        {"format text in the name", true, "%s%n%x", "Failed to Set Value For Key 'Software\\Set', Value: %s%n%x"},
        {"name of 16,384", false, longName,
         ("Failed to Set Value For Key 'Software\\Set', Value: " + longName).substr(0, 1023)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.scripted) StandinRegFailNext("RegSetValueExA", ERROR_ACCESS_DENIED);
        ExpectError(Call("HKCU", "Software\\Set", c.name, {33}), c.message);
        EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "Software\\Set"));
        EXPECT_EQ(Stored(HKEY_CURRENT_USER, "Software\\Set", c.name.c_str()), std::vector<BYTE>{});
    }
}

TEST_F(TessalyTest, LongInputsAreCutAtTheMessageBound)
{
    // 2,000 characters in 200-character levels, so the key itself is valid.
    std::string key;
    while (key.size() < 2000) key += (key.empty() ? "" : "\\") + std::string(199, (char)('a' + key.size() / 200));
    key.resize(2000);
    const std::string base(2000, 'B');
    struct Case {
        const char *what;
        std::string base, key;
        const char *scripted;  // the function made to fail, or none
        std::string full;      // the whole message before cutting
    };
    const Case cases[] = {
        {"base key", base, "Software", nullptr, "Invalid Base Key specified : '" + base + "'"},
        {"open", "HKCU", key, "RegCreateKeyExA", "Failed to Open/Create Key: '" + key + "'"},
        {"set", "HKCU", key, "RegSetValueExA", "Failed to Set Value For Key '" + key + "', Value: TheValue"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.scripted != nullptr) StandinRegFailNext(c.scripted, ERROR_ACCESS_DENIED);
        mexhost::CallResult result = Call(c.base, c.key, "TheValue", {33});
        ExpectError(result, c.full.substr(0, 1023));
        EXPECT_EQ(result.message.size(), 1023u);
    }
}

TEST_F(TessalyTest, EmptyValueWritesNothing)
{
    const std::vector<int> shapes[] = {{0, 0}, {1, 0}, {0, 3}};
    for (const std::vector<int> &shape : shapes) {
        SCOPED_TRACE(std::to_string(shape[0]) + "x" + std::to_string(shape[1]));
        ExpectError(Call({Text("HKCU"), Text("Software\\Empty"), Text("V"), mexhost::make_empty(mxUINT32_CLASS, shape)}),
                    kEmptyValue);
    }
    EXPECT_TRUE(CurrentUserIsEmpty());
}

}  // namespace
