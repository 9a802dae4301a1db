// mexcall as a user runs it: exit statuses, the JSON form and the command-window form, through
// the test plug-ins in the folder MEXCALL_PATH names.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "support/process.h"

namespace {

struct Outcome {
    int status;
    std::string output; // stdout and stderr together
};

Outcome mexcall(const std::vector<std::string> &args)
{
    support::Finished done = support::run_process(MEXCALL_PROGRAM, args, {}, support::Streams::Merged);
    return {done.status, done.out};
}

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

void check(const Case &c)
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
        {{"--json", "hello"}, 0, R"({"outputs":[{"class":"char","dims":[1,5],"value":"hello"}]})" "\n"},
        {{"--json", "--nargout", "2", "hello", "{'a', cell(1,1)}", "uint32([1 2])"},
         0,
         R"({"outputs":[{"class":"cell","dims":[1,2],"value":[{"class":"char","dims":[1,1],"value":"a"},)"
         R"({"class":"cell","dims":[1,1],"value":[null]}]},{"class":"uint32","dims":[1,2],"value":[1,2]}]})" "\n"},
        {{"--json", "probe", "'nothing'"}, 0, R"({"outputs":[]})" "\n"},
        {{"--json", "probe", "'fail'", "1"}, 1,
         R"j({"error":{"identifier":"probe:failed","message":"failed 3 of seven (0.5)"}})j" "\n"},
        {{"--json", "probe", "'fail'", "0"}, 1, R"({"error":{"identifier":"","message":"plain 100% text"}})" "\n"},
        {{"--json", "--nargout=1", "probe", "'nothing'"}, 1,
         R"({"error":{"identifier":"MATLAB:unassignedOutputs",)"
         R"("message":"One or more output arguments not assigned during call to \"probe\"."}})" "\n"},
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
        {{"hello", "'ok'", "[1 2"}, 2, "mexcall: argument 2: no closing ']' for this '[' at column 1\n  [1 2\n  ^\n" + usage},
        {{"nosuch"}, 2,
         "mexcall: no nosuch.mexa64 in the folders of MEXCALL_PATH or the build's plug-in folder\n" + usage},
        {{TEST_MEX_DIR "/nomex.mexa64"}, 2,
         "mexcall: cannot load " TEST_MEX_DIR "/nomex.mexa64: no mexFunction exported\n" + usage},
    };
    for (const Case &c : cases) check(c);
}

TEST_F(Mexcall, TakesAPluginFileWithoutTheSearchPath)
{
    unsetenv("MEXCALL_PATH");
    check({{TEST_MEX_DIR "/hello.mexa64"}, 0, "ans =\n\n    'hello'\n\n"});
    Outcome missing = mexcall({"hello"});
    EXPECT_EQ(missing.status, 2);
}

TEST_F(Mexcall, HelpNamesTheSearchPathVariable)
{
    Outcome run = mexcall({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("usage: mexcall [--nargout N] [--json] PLUGIN [ARG ...]"), std::string::npos);
    EXPECT_NE(run.output.find("MEXCALL_PATH (separated by ':')"), std::string::npos);
}

} // namespace
