// The control calls (names between host and Windows, the start state from the environment) and the
// winpath tool's output.
#include "fixture.h"

#include <cstdio>

#include "support/process.h"

namespace {

class ControlTest : public TempRootTest {
protected:
    void TearDown() override
    {
        unsetenv("WIN32_STANDIN_DRIVES");
        unsetenv("WIN32_STANDIN_SHARES");
        unsetenv("WIN32_STANDIN_CWD");
        TempRootTest::TearDown();
    }
};

} // namespace

TEST_F(ControlTest, WindowsNameOfHostPath)
{
    createEntry(root, "Sub Dir/");
    ASSERT_TRUE(StandinMapShare(u"//Srv/Share/", (root + "/Sub Dir").c_str()));
    struct Row {
        std::string host;
        const WCHAR *expected;
    } rows[] = {
        {root, u"C:\\"},
        {root + "/Sub Dir/x/../y", u"\\\\Srv\\Share\\y"}, // the longest mapped folder wins
        {root + "/caf\xc3\xa9/\xff", u"C:\\caf\u00E9\\\xDCFF"},
        {"/", u"Z:\\"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.host);
        WCHAR buffer[MAX_PATH];
        DWORD ret = StandinWindowsName(row.host.c_str(), buffer, MAX_PATH);
        EXPECT_EQ(text(row.expected).size(), ret);
        EXPECT_EQ(text(row.expected), std::u16string(buffer, ret < MAX_PATH ? ret : 0));
    }
    ASSERT_TRUE(StandinMapDrive(u'z', nullptr));
    SetLastError(kUnsetError);
    WCHAR buffer[MAX_PATH];
    EXPECT_EQ(0u, StandinWindowsName("/usr", buffer, MAX_PATH));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
}

TEST_F(ControlTest, HostNameOfWindowsName)
{
    createEntry(root, "Program Files/");
    createEntry(root, "Program Files/Common Files/");
    struct Row {
        const WCHAR *name;
        std::string expected;
    } rows[] = {
        {u"c:\\progra~1\\COMMON FILES\\new.txt", root + "/Program Files/Common Files/new.txt"},
        {u"C:/Program Files/missing/../x", root + "/Program Files/x"},
        {u"C:\\", root},
        {u"C:\\caf\u00E9\\\xDCFF", root + "/caf\xc3\xa9/\xff"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::PrintToString(text(row.name)));
        char buffer[1024];
        DWORD ret = StandinHostName(row.name, buffer, sizeof buffer);
        EXPECT_EQ(row.expected.size(), ret);
        EXPECT_EQ(row.expected, std::string(buffer, ret < sizeof buffer ? ret : 0));
    }
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(root.size() + 1, StandinHostName(u"C:\\", small, sizeof small));
    EXPECT_EQ('x', small[0]);
    SetLastError(kUnsetError);
    EXPECT_EQ(0u, StandinHostName(u"\\\\nosrv\\x\\y", small, sizeof small));
    EXPECT_EQ(ERROR_BAD_NETPATH, GetLastError());
}

TEST_F(ControlTest, StartStateFromEnvironment)
{
    createEntry(root, "Work/");
    createEntry(root, "Shared/");
    createEntry(root, "Shared/Doc.txt");
    setenv("WIN32_STANDIN_DRIVES", ("y=" + root + ";Z=").c_str(), 1);
    setenv("WIN32_STANDIN_SHARES", ("\\\\srv\\pub=" + root + "/Shared").c_str(), 1);
    setenv("WIN32_STANDIN_CWD", "Y:\\work", 1);
    StandinResetPaths();

    WCHAR buffer[MAX_PATH];
    EXPECT_EQ(7u, GetCurrentDirectoryW(MAX_PATH, buffer));
    EXPECT_EQ(u"Y:\\work", text(buffer));
    EXPECT_EQ(17u, GetLongPathNameW(u"\\\\SRV\\PUB\\doc.txt", buffer, MAX_PATH));
    EXPECT_EQ(u"\\\\SRV\\PUB\\Doc.txt", text(buffer));
    EXPECT_EQ(10u, GetLongPathNameW(u"..\\WORK\\..", buffer, MAX_PATH));
    EXPECT_EQ(u"..\\Work\\..", text(buffer));
    SetLastError(kUnsetError);
    EXPECT_EQ(0u, GetLongPathNameW(u"C:\\", buffer, MAX_PATH)); // the fixture's C: mapping is gone
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    EXPECT_EQ(0u, GetLongPathNameW(u"Z:\\", buffer, MAX_PATH));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
}

TEST_F(ControlTest, StartsInTheProcessFolder)
{
    char here[4096];
    ASSERT_NE(nullptr, getcwd(here, sizeof here));
    ASSERT_EQ(0, chdir(root.c_str()));
    setenv("WIN32_STANDIN_DRIVES", ("D=" + root).c_str(), 1);
    StandinResetPaths();
    WCHAR buffer[MAX_PATH];
    EXPECT_EQ(3u, GetCurrentDirectoryW(MAX_PATH, buffer));
    EXPECT_EQ(u"D:\\", text(buffer));
    ASSERT_EQ(0, chdir(here));
}

// --- winpath --------------------------------------------------------------------------------------

// winpath's standard output.
static std::string winpath(const std::vector<std::string> &args)
{
    return support::run_process(WINPATH_EXE, args).out;
}

TEST_F(ControlTest, WinpathPrintsOneLinePerName)
{
    createEntry(root, "Program Files/");
    createEntry(root, "Program Files/Read Me.txt");
    createEntry(root, "Caf\xC3\xA9.txt");
    createEntry(root, "Program Files/\xD5\xBD.txt"); // Armenian seh: found in any case, no short name
    const std::vector<std::string> tool = {"--drive", "C=" + root,
                                           "--share", "\\\\srv\\s=" + root + "/Program Files",
                                           "--cwd",   "C:\\Program Files"};
    struct Row {
        std::vector<std::string> arguments;
        std::string expected;
    } rows[] = {
        {{"--json", "full", "x", "..\\y\"z", ""},
         "{\"ret\":18,\"name\":\"C:\\\\Program Files\\\\x\",\"error\":0}\n"
         "{\"ret\":6,\"name\":\"C:\\\\y\\\"z\",\"error\":0}\n"
         "{\"ret\":0,\"name\":\"\",\"error\":123}\n"},
        {{"--json", "long", "C:\\PROGRA~1\\README~1.TXT", "\\\\SRV\\S\\read me.TXT", "nope"},
         "{\"ret\":28,\"name\":\"C:\\\\Program Files\\\\Read Me.txt\",\"error\":0}\n"
         "{\"ret\":19,\"name\":\"\\\\\\\\SRV\\\\S\\\\read me.TXT\",\"error\":0}\n"
         "{\"ret\":0,\"name\":\"\",\"error\":2}\n"},
        {{"short", "Read Me.txt"}, "12\tREADME~1.TXT\t0 ERROR_SUCCESS\n"},
        {{"long", "nope", "\\\\other\\s\\x"}, "0\t\t2 ERROR_FILE_NOT_FOUND\n0\t\t53 ERROR_BAD_NETPATH\n"},
        {{"--json", "full", "\\\\LOCALHOST\\share4\\.", "C:\\Docs..\\.", "c:\\nul::", "c:prn:aaa"},
         "{\"ret\":18,\"name\":\"\\\\\\\\LOCALHOST\\\\share4\",\"error\":0}\n"
         "{\"ret\":7,\"name\":\"C:\\\\Docs\",\"error\":0}\n"
         "{\"ret\":7,\"name\":\"\\\\\\\\.\\\\nul\",\"error\":0}\n"
         "{\"ret\":24,\"name\":\"C:\\\\Program Files\\\\prn:aaa\",\"error\":0}\n"},
        {{"long", "C:\\CAF\xC3\x89.TXT", "C:\\notadir\\", "C:\\PROGRAM FILES\\\xD5\x8D.TXT"},
         "11\tC:\\Caf\xC3\xA9.txt\t0 ERROR_SUCCESS\n"
         "0\t\t2 ERROR_FILE_NOT_FOUND\n"
         "22\tC:\\PROGRAM FILES\\\xD5\x8D.TXT\t0 ERROR_SUCCESS\n"},
    };
    for (const Row &row : rows) {
        std::string line;
        for (const std::string &argument : row.arguments) line += argument + " ";
        SCOPED_TRACE(line);
        std::vector<std::string> args = tool;
        args.insert(args.end(), row.arguments.begin(), row.arguments.end());
        EXPECT_EQ(row.expected, winpath(args));
    }
    EXPECT_EQ("", winpath({"--bogus"}));
}
