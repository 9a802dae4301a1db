// tessaly.mexw64 as it ships, called through the stand-in host under wine, and every value read
// back with wine's own reg.exe, which sees the registry the plug-in wrote through advapi32.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "mexhost.h"

namespace {

// Every key the tests write lies below this name, under each root they use.
const char kTestKey[] = "Software\\TessalyWineTest";

struct Reg {
    int status;
    std::string output;
};

// Runs wine's reg.exe with the given arguments, through the command interpreter.
Reg reg(const std::string &arguments)
{
    std::string command = "reg " + arguments + " 2>&1";
    FILE *pipe = _popen(command.c_str(), "r");
    if (pipe == nullptr) return {-1, "cannot start reg"};
    std::string output;
    char chunk[512];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
    int status = _pclose(pipe);
    return {status, output};
}

std::string quoted(const std::string &text) { return "\"" + text + "\""; }

// The type and data reg prints for one value ("REG_DWORD 0x21"), or "" when reg finds none.
std::string query_value(const std::string &key, const std::string &name)
{
    Reg result = reg("query " + quoted(key) + (name.empty() ? " /ve" : " /v " + quoted(name)));
    if (result.status != 0) return "";
    // "    <name>    REG_DWORD    0x21": the value's line; the name may hold blanks.
    std::istringstream lines(result.output);
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

bool key_exists(const std::string &key) { return reg("query " + quoted(key)).status == 0; }

void delete_key(const std::string &key) { reg("delete " + quoted(key) + " /f"); }

mxArray *text(const std::string &value) { return mexhost::make_char(std::u16string(value.begin(), value.end())); }

const char *const kRoots[] = {"HKCU", "HKLM", "HKCR", "HKCC", "HKU"};

// Each test writes below a subkey of its own, named after it, removed before and after it runs:
// ctest may run the tests side by side, each in a process of its own.
class Tessaly : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string error;
        plugin_ = mexhost::Plugin::load(TESSALY_PLUGIN, &error);
        ASSERT_TRUE(plugin_) << error;
    }

    static void TearDownTestSuite() { plugin_.reset(); }

    void SetUp() override
    {
        own_ = std::string(kTestKey) + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        remove_own_keys(); // left over from an interrupted run
    }

    void TearDown() override { remove_own_keys(); }

    void remove_own_keys()
    {
        for (const char *root : kRoots) delete_key(std::string(root) + "\\" + own(root));
    }

    // The test's own subkey below a root, as tessaly's Key.
    std::string own(const std::string &root = "HKCU") const
    {
        return root == "HKU" ? ".DEFAULT\\" + own_ : own_;
    }

    // As a statement: no output requested.
    static mexhost::CallResult run(std::vector<mxArray *> inputs)
    {
        mexhost::CallOptions options;
        options.nlhs = 0;
        mexhost::CallResult result =
            mexhost::call(*plugin_, std::vector<const mxArray *>(inputs.begin(), inputs.end()), options);
        for (mxArray *input : inputs) mexhost::destroy(input);
        return result;
    }

    static mexhost::CallResult write(const std::string &base, const std::string &key, const std::string &name,
                                     std::vector<uint32_t> values)
    {
        return run({text(base), text(key), text(name), mexhost::make_uint32(values)});
    }

    static std::unique_ptr<mexhost::Plugin> plugin_;
    std::string own_;
};

std::unique_ptr<mexhost::Plugin> Tessaly::plugin_;

// ---- writing ---------------------------------------------------------------------------------

TEST_F(Tessaly, WritesADwordThatRegReadsBack)
{
    const std::string key = own(), read = "HKCU\\" + own();
    std::string shouted = key;
    for (char &c : shouted) c = (char)toupper((unsigned char)c);
    const struct {
        const char *title;
        std::string key, name;
        std::vector<uint32_t> values;
        std::string read_key, read_name, expected;
    } cases[] = {
        {"missing subkeys are created", key + "\\Level2\\Level3", "Answer", {33}, read + "\\Level2\\Level3",
         "Answer", "REG_DWORD 0x21"},
        {"only the first element", key, "First", {5, 6}, read, "First", "REG_DWORD 0x5"},
        {"zero", key, "Zero", {0}, read, "Zero", "REG_DWORD 0x0"},
        {"every bit", key, "Ones", {0xFFFFFFFFu}, read, "Ones", "REG_DWORD 0xffffffff"},
        {"byte order", key, "Order", {0x12345678u}, read, "Order", "REG_DWORD 0x12345678"},
        {"the default value", key, "", {7}, read, "", "REG_DWORD 0x7"},
        {"a value name with blanks and a backslash", key, "Two Words\\Slash", {8}, read, "Two Words\\Slash",
         "REG_DWORD 0x8"},
        {"key names ignore case", shouted, "Shouted", {9}, read, "Shouted", "REG_DWORD 0x9"},
        {"a trailing backslash", key + "\\Trailing\\", "Value", {10}, read + "\\Trailing", "Value",
         "REG_DWORD 0xa"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        mexhost::CallResult result = write("HKCU", c.key, c.name, c.values);
        ASSERT_TRUE(result.ok) << result.message;
        EXPECT_TRUE(result.outputs.empty());
        EXPECT_EQ(query_value(c.read_key, c.read_name), c.expected);
    }
}

TEST_F(Tessaly, ReplacesAValueOfAnyType)
{
    const std::string read = "HKCU\\" + own();
    ASSERT_EQ(reg("add " + quoted(read) + " /v Setting /t REG_SZ /d text /f").status, 0);
    ASSERT_EQ(query_value(read, "Setting"), "REG_SZ text");

    ASSERT_TRUE(write("HKCU", own(), "Setting", {1}).ok);
    EXPECT_EQ(query_value(read, "Setting"), "REG_DWORD 0x1");
    ASSERT_TRUE(write("HKCU", own(), "SETTING", {2}).ok) << "value names ignore case";
    EXPECT_EQ(query_value(read, "Setting"), "REG_DWORD 0x2");
}

// wine runs every program as an administrator, so every root takes a write; on Windows a
// non-elevated MATLAB gets "Failed to Open/Create Key" below all but HKCU.
TEST_F(Tessaly, WritesBelowEachRoot)
{
    for (const char *root : kRoots) {
        SCOPED_TRACE(root);
        mexhost::CallResult result = write(root, own(root), "Root", {42});
        ASSERT_TRUE(result.ok) << result.message;
        EXPECT_EQ(query_value(std::string(root) + "\\" + own(root), "Root"), "REG_DWORD 0x2a");
    }
}

// ---- errors ----------------------------------------------------------------------------------

const std::string kUsage = "Four inputs required.\n\nExample:\ntessaly('HKLM','Software\\MyProg','TheValue',33);";
const std::string kBadTypes = "Inputs 1-3 must be a strings and input 4 must be a UINT32 (i.e. DWORD).";
const std::string kEmptyValue = "Input 4 must hold at least one UINT32 value.";

TEST_F(Tessaly, RefusesBadInputsAndWritesNothing)
{
    const std::string key = own();
    const std::string long_level(257, 'c');
    const struct {
        const char *title;
        std::function<std::vector<mxArray *>()> inputs;
        std::string message;
    } cases[] = {
        // Count.
        {"no inputs", [] { return std::vector<mxArray *>{}; }, kUsage},
        {"three inputs", [&] { return std::vector<mxArray *>{text("HKCU"), text(key), text("V")}; }, kUsage},
        {"five inputs",
         [&] {
             return std::vector<mxArray *>{text("HKCU"), text(key), text("V"), mexhost::make_uint32({1}),
                                           mexhost::make_uint32({1})};
         },
         kUsage},
        // Classes.
        {"BaseKey a number",
         [&] {
             return std::vector<mxArray *>{mexhost::make_double({1}), text(key), text("V"), mexhost::make_uint32({1})};
         },
         kBadTypes},
        {"Key a number",
         [] {
             return std::vector<mxArray *>{text("HKCU"), mexhost::make_double({1}), text("V"), mexhost::make_uint32({1})};
         },
         kBadTypes},
        {"ValueName a cell",
         [&] {
             return std::vector<mxArray *>{text("HKCU"), text(key), mexhost::make_cell({1, 1}, {text("V")}),
                                           mexhost::make_uint32({1})};
         },
         kBadTypes},
        {"Value a double",
         [&] { return std::vector<mxArray *>{text("HKCU"), text(key), text("V"), mexhost::make_double({33})}; },
         kBadTypes},
        {"Value an int32",
         [&] { return std::vector<mxArray *>{text("HKCU"), text(key), text("V"), mexhost::make_int32({33})}; },
         kBadTypes},
        {"Value a char", [&] { return std::vector<mxArray *>{text("HKCU"), text(key), text("V"), text("!")}; },
         kBadTypes},
        {"Value empty",
         [&] {
             return std::vector<mxArray *>{text("HKCU"), text(key), text("V"),
                                           mexhost::make_empty(mxUINT32_CLASS, {1, 0})};
         },
         kEmptyValue},
        // Base keys: only the five names, exactly.
        {"lower case",
         [&] { return std::vector<mxArray *>{text("hkcu"), text(key), text("V"), mexhost::make_uint32({1})}; },
         "Invalid Base Key specified : 'hkcu'"},
        {"long form",
         [&] {
             return std::vector<mxArray *>{text("HKEY_CURRENT_USER"), text(key), text("V"), mexhost::make_uint32({1})};
         },
         "Invalid Base Key specified : 'HKEY_CURRENT_USER'"},
        {"trailing blank",
         [&] { return std::vector<mxArray *>{text("HKCU "), text(key), text("V"), mexhost::make_uint32({1})}; },
         "Invalid Base Key specified : 'HKCU '"},
        {"empty",
         [&] { return std::vector<mxArray *>{text(""), text(key), text("V"), mexhost::make_uint32({1})}; },
         "Invalid Base Key specified : ''"},
        // The registry refuses the key.
        {"a leading backslash",
         [&] { return std::vector<mxArray *>{text("HKCU"), text("\\" + key), text("V"), mexhost::make_uint32({1})}; },
         "Failed to Open/Create Key: '\\Software\\TessalyWineTest\\RefusesBadInputsAndWritesNothing'"},
        {"a level of 257 characters",
         [&] {
             return std::vector<mxArray *>{text("HKCU"), text(key + "\\" + long_level), text("V"),
                                           mexhost::make_uint32({1})};
         },
         "Failed to Open/Create Key: '" + key + "\\" + long_level + "'"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        mexhost::CallResult result = run(c.inputs());
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.identifier, "");
        EXPECT_EQ(result.message, c.message);
        EXPECT_TRUE(result.outputs.empty());
        EXPECT_FALSE(key_exists("HKCU\\" + key));
    }
}

// A value name past the registry's limit: the key is made, then the write fails; the message is
// cut at the 1024-byte buffer, terminator included.
TEST_F(Tessaly, ReportsAFailedWriteAndKeepsTheKey)
{
    const std::string name(32767, 'v');
    mexhost::CallResult result = write("HKCU", own(), name, {1});
    EXPECT_FALSE(result.ok);
    const std::string message = "Failed to Set Value For Key '" + own() + "', Value: " + name;
    EXPECT_EQ(result.message, message.substr(0, 1023));
    EXPECT_TRUE(key_exists("HKCU\\" + own()));
}

}  // namespace
