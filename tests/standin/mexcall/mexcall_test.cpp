// mexcall as a user runs it: exit statuses, the JSON form and the command-window form, through
// the test plug-ins in the folder MEXCALL_PATH names.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_folder.h"

namespace {

struct Outcome {
    int status;
    std::string output; // stdout and stderr together
};

} // namespace

static Outcome mexcall(const std::vector<std::string> &args)
{
    support::Finished done = support::run_process(MEXCALL_PROGRAM, args, {}, support::Streams::Merged);
    return {done.status, done.out};
}

// The same with standard input read from a file, through the shell.
static Outcome mexcall_reading(const std::string &input, const std::vector<std::string> &args)
{
    std::vector<std::string> shell_args = {"-c", "exec \"$0\" \"$@\" < \"$INPUT\"", MEXCALL_PROGRAM};
    shell_args.insert(shell_args.end(), args.begin(), args.end());
    support::Finished done =
        support::run_process("/bin/sh", shell_args, {"INPUT=" + input}, support::Streams::Merged);
    return {done.status, done.out};
}

namespace {

// Every test finds the test plug-ins through MEXCALL_PATH, behind a folder that does not exist.
class Mexcall : public ::testing::Test {
protected:
    void SetUp() override { setenv("MEXCALL_PATH", "/nonexistent:" TEST_MEX_DIR, 1); }
    void TearDown() override { unsetenv("MEXCALL_PATH"); }
};

struct Case {
    std::vector<std::string> args;
    int status;
    std::string output;
};

} // namespace

static void check(const Case &c)
{
    std::string line;
    for (const std::string &arg : c.args) line += arg + " ";
    SCOPED_TRACE(line);
    Outcome run = mexcall(c.args);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_EQ(run.output, c.output);
}

TEST_F(Mexcall, JsonForm)
{
    const Case cases[] = {
        {{"--json", "hello"},
         0,
         R"({"outputs":[{"class":"char","dims":[1,5],"value":"hello"}]})"
         "\n"},
        {{"--json", "--nargout", "2", "hello", "{'a', cell(1,1)}", "uint32([1 2])"},
         0,
         R"({"outputs":[{"class":"cell","dims":[1,2],"value":[{"class":"char","dims":[1,1],"value":"a"},)"
         R"({"class":"cell","dims":[1,1],"value":[null]}]},{"class":"uint32","dims":[1,2],"value":[1,2]}]})"
         "\n"},
        {{"--json", "probe", "'nothing'"},
         0,
         R"({"outputs":[]})"
         "\n"},
        {{"--json", "probe", "'fail'", "1"},
         1,
         R"j({"error":{"identifier":"probe:failed","message":"failed 3 of seven (0.5)"}})j"
         "\n"},
        {{"--json", "probe", "'fail'", "0"},
         1,
         R"({"error":{"identifier":"","message":"plain 100% text"}})"
         "\n"},
        {{"--json", "--nargout=1", "probe", "'nothing'"},
         1,
         R"({"error":{"identifier":"MATLAB:unassignedOutputs",)"
         R"("message":"One or more output arguments not assigned during call to \"probe\"."}})"
         "\n"},
    };
    for (const Case &c : cases) check(c);
}

TEST_F(Mexcall, CommandWindowForm)
{
    const Case cases[] = {
        {{"hello"}, 0, "ans =\n\n    'hello'\n\n"},
        {{"--nargout", "2", "hello", "'a'", "[1 2]"}, 0, "ans1 =\n\n    'a'\n\nans2 =\n\n     1     2\n\n"},
        {{"probe", "'nothing'"}, 0, ""},
        {{"probe", "'fail'", "1"}, 1, "Error using probe\nfailed 3 of seven (0.5)\n"},
    };
    for (const Case &c : cases) check(c);
}

TEST_F(Mexcall, RefusesBadCommandLinesWithStatus2)
{
    const std::string usage = "(mexcall --help shows the usage)\n";
    const Case cases[] = {
        {{}, 2, "mexcall: no PLUGIN given\n" + usage},
        {{"--bogus", "hello"}, 2, "mexcall: unknown option --bogus\n" + usage},
        {{"--nargout", "x", "hello"}, 2, "mexcall: --nargout needs a whole number, not 'x'\n" + usage},
        {{"--nargout"}, 2, "mexcall: --nargout needs a whole number, not ''\n" + usage},
        {{"--nargout", "999999999", "hello"},
         2,
         "mexcall: --nargout 999999999: the host takes at most 4096 outputs\n" + usage},
        {{"--nargout=4097", "hello"},
         2,
         "mexcall: --nargout 4097: the host takes at most 4096 outputs\n" + usage},
        {{"hello", "'ok'", "[1 2"},
         2,
         "mexcall: argument 2: no closing ']' for this '[' at column 1\n  [1 2\n  ^\n" + usage},
        {{"nosuch"},
         2,
         "mexcall: no nosuch.mexa64 in the current folder, the folders of MEXCALL_PATH or the build's "
         "plug-in "
         "folder\n" +
             usage},
        {{TEST_MEX_DIR "/nomex.mexa64"},
         2,
         "mexcall: cannot load " TEST_MEX_DIR "/nomex.mexa64: no mexFunction exported\n" + usage},
    };
    for (const Case &c : cases) check(c);
}

static std::string file_text(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Literals that once crashed mexcall, overflowed or were misread, kept as files: each is refused
// with a message and status 2 (or made, for a bracket with an empty first row), given as an
// argument and as @FILE alike.
TEST_F(Mexcall, LiteralsThatOnceCrashedAreRefusedWithAMessage)
{
    struct Case {
        const char *file;
        int status;
        std::string first_line;
    };
    const Case cases[] = {
        {"empty-first-row.lit", 0, R"({"outputs":[{"class":"struct","dims":[1,1],"value":{}}]})"},
        {"deep-nesting.lit", 2,
         "mexcall: argument 1: nesting of [, { and ( is limited to 32 levels at column 34"},
        {"dimension-sum.lit", 2,
         "mexcall: argument 1: the result would have more than 2147483647 columns at column 21"},
        {"class-name-unit.lit", 2,
         "mexcall: argument 1: zeros: class '\xC5\xB5int32' is not one of double, int32, uint32"
         " at column 11"},
        {"class-name-zero-byte.lit", 2,
         "mexcall: argument 1: zeros: class 'uint32\xC4\x80' is not one of double, int32, uint32"
         " at column 11"},
        {"element-cap.lit", 2,
         "mexcall: argument 1: the literal would have more than 67108864 elements at column 20"},
        {"element-cap-cell.lit", 2,
         "mexcall: argument 1: the literal would have more than 67108864 elements at column 14"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = std::string(CRASHES_DIR "/") + c.file;
        std::string literal = file_text(path);
        ASSERT_FALSE(literal.empty());
        for (const std::string &arg : {literal, "@" + path}) {
            Outcome run = mexcall({"--json", "hello", arg});
            EXPECT_EQ(run.status, c.status) << run.output;
            EXPECT_EQ(run.output.substr(0, run.output.find('\n')), c.first_line);
        }
    }
}

namespace {

// A literal too long for a command line comes from a file (@FILE) or standard input (-).
class MexcallFiles : public Mexcall {
protected:
    std::string write(const std::string &name, const std::string &content)
    {
        std::string path = folder_.string() + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    support::TempFolder folder_{"mexcall"};
};

} // namespace

TEST_F(MexcallFiles, ReadsALiteralFromAFileOrStandardInput)
{
    std::string names = write("names.lit", "{'one'\n'two''s'\r\n'caf\xC3\xA9'\n}\n");
    const std::string cell = R"({"outputs":[{"class":"cell","dims":[3,1],"value":[)"
                             R"({"class":"char","dims":[1,3],"value":"one"},)"
                             R"({"class":"char","dims":[1,5],"value":"two's"},)"
                             R"({"class":"char","dims":[1,4],"value":"caf)"
                             "\xC3\xA9"
                             R"("}]}]})"
                             "\n";
    check({{"--json", "hello", "@" + names}, 0, cell});
    Outcome piped = mexcall_reading(names, {"--json", "hello", "-"});
    EXPECT_EQ(piped.status, 0) << piped.output;
    EXPECT_EQ(piped.output, cell);
    // Both at once, in order.
    Outcome both =
        mexcall_reading(write("one.lit", "'x'"), {"--json", "--nargout", "2", "hello", "-", "@" + names});
    EXPECT_EQ(both.output, R"({"outputs":[{"class":"char","dims":[1,1],"value":"x"},)" + cell.substr(12));
}

// A result far larger than a piece of output (64 KiB) comes out whole and in order.
TEST_F(MexcallFiles, WritesALargeResultWhole)
{
    std::string literal = "{", json = R"({"outputs":[{"class":"cell","dims":[3000,1],"value":[)";
    for (int i = 0; i < 3000; ++i) {
        std::string name = "C:\\Folder\\Report " + std::to_string(100000 + i) + ".txt";
        literal += "'" + name + "'\n";
        json += std::string(i ? "," : "") + R"({"class":"char","dims":[1,27],"value":"C:\\Folder\\Report )" +
                std::to_string(100000 + i) + R"(.txt"})";
    }
    literal += "}";
    json += "]}]}\n";
    check({{"--json", "hello", "@" + write("many.lit", literal)}, 0, json});
}

TEST_F(MexcallFiles, RefusesWhatCannotBeReadAndNamesTheLineAtFault)
{
    const std::string usage = "(mexcall --help shows the usage)\n";
    std::string bad = write("bad.lit", "{'a'\n'b' 'c'x}\n");
    Outcome run = mexcall({"hello", "'ok'", "@" + bad});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.output,
              "mexcall: argument 2: unexpected 'x': expected ',', ';' or '}' at line 2, column 8\n"
              "  'b' 'c'x}\n"
              "         ^\n" +
                  usage);
    std::string missing = folder_.string() + "/missing.lit";
    check({{"hello", "@" + missing},
           2,
           "mexcall: argument 1: cannot read " + missing + ": No such file or directory\n" + usage});
    // A folder opens but cannot be read: it reads as no text.
    check({{"hello", "@" + folder_.string()},
           2,
           "mexcall: argument 1: expected a value at column 1\n  \n  ^\n" + usage});
    Outcome twice = mexcall_reading(write("one.lit", "'x'"), {"hello", "-", "-"});
    EXPECT_EQ(twice.status, 2);
    EXPECT_EQ(twice.output, "mexcall: argument 2: standard input (-) was read already\n" + usage);
    // A 0 byte in the file reaches the message whole.
    std::string zero = write("zero.lit", std::string("'a' \0", 5));
    Outcome nul = mexcall({"hello", "@" + zero});
    EXPECT_EQ(nul.status, 2);
    const std::string nul_byte(1, '\0');
    EXPECT_EQ(nul.output, "mexcall: argument 1: unexpected '" + nul_byte +
                              "' after the value at column 5\n"
                              "  'a' " +
                              nul_byte + "\n      ^\n" + usage);
}

TEST_F(Mexcall, TakesAPluginFileWithoutTheSearchPath)
{
    unsetenv("MEXCALL_PATH");
    check({{TEST_MEX_DIR "/hello.mexa64"}, 0, "ans =\n\n    'hello'\n\n"});
    Outcome missing = mexcall({"hello"});
    EXPECT_EQ(missing.status, 2);
}

// The host looks in the current folder before its path: a file there of the function's name wins,
// here one that cannot be loaded, over the working plug-in MEXCALL_PATH names.
TEST_F(Mexcall, LooksInTheCurrentFolderFirst)
{
    support::TempFolder folder("mexcall-cwd");
    ASSERT_TRUE(folder.made());
    std::filesystem::copy_file(TEST_MEX_DIR "/nomex.mexa64", folder.path() / "hello.mexa64");
    std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    Outcome run = mexcall({"hello"});
    std::filesystem::current_path(here);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.output.rfind("mexcall: cannot load ./hello.mexa64: no mexFunction exported\n", 0), 0u)
        << run.output;
}

TEST_F(Mexcall, VersionIsTheProjectsVersion)
{
    Outcome run = mexcall({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "mexcall " PROJECT_VERSION "\n");
}

TEST_F(Mexcall, HelpNamesTheSearchPathVariable)
{
    Outcome run = mexcall({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("usage: mexcall [--nargout N] [--json] PLUGIN [ARG ...]"), std::string::npos);
    EXPECT_NE(run.output.find("MEXCALL_PATH (separated by ':')"), std::string::npos);
}
