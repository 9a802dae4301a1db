// GetFullPathNameW, GetCurrentDirectoryW and SetCurrentDirectoryW: the case table, per-drive and UNC
// current directories, the buffer rules and bad input.
#include "fixture.h"
#include "path_cases.h"

#include <thread>

namespace {

class FullPathTest : public TempRootTest {
protected:
    void SetUp() override
    {
        TempRootTest::SetUp();
        createEntry(root, "windows/");
        ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\windows"));
    }
};

} // namespace

// --- The case table -------------------------------------------------------------------------------

TEST_F(FullPathTest, CaseTable)
{
    for (const FullPathCase &row : kFullPathCases) {
        SCOPED_TRACE(testing::Message() << "name: \"" << testing::PrintToString(text(row.name)) << "\"");
        std::vector<WCHAR> buffer(300, kSentinel);
        LPWSTR filePart = buffer.data() + 299;
        SetLastError(kUnsetError);
        DWORD ret = GetFullPathNameW(row.name, 260, buffer.data(), &filePart);
        expectRowOutcome(buffer, ret, row.expected, row.ret, row.error);
        if (!row.expected)
            EXPECT_EQ(buffer.data() + 299, filePart) << "a failing call set the file part";
        else if (row.filePart < 0)
            EXPECT_EQ(nullptr, filePart);
        else
            EXPECT_EQ(buffer.data() + row.filePart, filePart);
    }
}

TEST_F(FullPathTest, FullNamesAreFixedPoints)
{
    // What one call trims or resolves, a second finds nothing left of: full(full(x)) == full(x).
    for (const FullPathCase &row : kFullPathCases) {
        SCOPED_TRACE(testing::Message() << "name: \"" << testing::PrintToString(text(row.name)) << "\"");
        WCHAR once[300], twice[300];
        DWORD ret = GetFullPathNameW(row.name, 300, once, nullptr);
        if (ret == 0 || ret >= 300) continue;
        DWORD again = GetFullPathNameW(once, 300, twice, nullptr);
        EXPECT_EQ(std::u16string(once, ret), std::u16string(twice, again < 300 ? again : 0));
    }
}

// --- Current directories --------------------------------------------------------------------------

namespace {

struct ResolveRow {
    const WCHAR *name;
    const WCHAR *expected;
};

} // namespace

static void expectFullNames(const std::vector<ResolveRow> &rows)
{
    for (const ResolveRow &row : rows) {
        SCOPED_TRACE(testing::PrintToString(text(row.name)));
        WCHAR buffer[MAX_PATH];
        DWORD ret = GetFullPathNameW(row.name, MAX_PATH, buffer, nullptr);
        EXPECT_EQ(text(row.expected).size(), ret);
        EXPECT_EQ(text(row.expected), std::u16string(buffer, ret < MAX_PATH ? ret : 0));
    }
}

TEST_F(FullPathTest, PerDriveDirectories)
{
    ASSERT_TRUE(StandinSetDriveDirectory(u'e', u"e:\\data\\"));
    ASSERT_TRUE(StandinMapDrive(u'D', root.c_str()));
    createEntry(root, "dd/");
    ASSERT_TRUE(SetCurrentDirectoryW(u"d:\\dd"));
    expectFullNames({
        {u"e:", u"e:\\data"},
        {u"E:x", u"e:\\data\\x"},
        {u"c:", u"C:\\windows"}, // recorded when C:\windows became current
        {u"d:x", u"d:\\dd\\x"},
        {u"x", u"d:\\dd\\x"},
        {u"\\x", u"d:\\x"},
        {u"f:x", u"f:\\x"},
    });
    EXPECT_FALSE(StandinSetDriveDirectory(u'e', u"c:\\elsewhere"));
    ASSERT_TRUE(StandinSetDriveDirectory(u'e', nullptr));
    expectFullNames({{u"e:x", u"e:\\x"}});
}

TEST_F(FullPathTest, UncCurrentDirectory)
{
    createEntry(root, "windows/sub/");
    ASSERT_TRUE(StandinMapShare(u"\\\\Srv\\Share", (root + "/windows").c_str()));
    ASSERT_TRUE(SetCurrentDirectoryW(u"\\\\srv\\share\\sub\\"));
    WCHAR cwd[MAX_PATH];
    EXPECT_EQ(15u, GetCurrentDirectoryW(MAX_PATH, cwd));
    EXPECT_EQ(u"\\\\srv\\share\\sub", text(cwd));
    expectFullNames({
        {u"x", u"\\\\srv\\share\\sub\\x"},
        {u"\\x", u"\\\\srv\\share\\x"},
        {u"..\\..\\..", u"\\\\srv\\share"}, // a step back to the root: no separator after it
        {u"..\\..\\..\\", u"\\\\srv\\share\\"},
        {u"c:x", u"C:\\windows\\x"}, // C:'s own directory, recorded earlier
    });
}

TEST_F(FullPathTest, SetCurrentDirectory)
{
    createEntry(root, "windows/Sub Dir/");
    createEntry(root, "windows/file.txt");
    struct Row {
        const WCHAR *name;
        BOOL ok;
        DWORD error;
        const WCHAR *cwd;
    } rows[] = {
        {u"c:\\WINDOWS\\sub dir\\", TRUE, 0, u"c:\\WINDOWS\\sub dir"},
        {u"..", TRUE, 0, u"c:\\WINDOWS"},
        {u"C:/", TRUE, 0, u"C:\\"},
        {u"windows/file.txt", FALSE, ERROR_DIRECTORY, u"C:\\"},
        {u"C:\\nope", FALSE, ERROR_FILE_NOT_FOUND, u"C:\\"},
        {u"C:\\nope\\deeper", FALSE, ERROR_PATH_NOT_FOUND, u"C:\\"},
        {u"Q:\\", FALSE, ERROR_PATH_NOT_FOUND, u"C:\\"},
        {u"con", FALSE, ERROR_INVALID_NAME, u"C:\\"},
        {u"", FALSE, ERROR_INVALID_NAME, u"C:\\"},
        {nullptr, FALSE, ERROR_INVALID_PARAMETER, u"C:\\"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::PrintToString(text(row.name)));
        SetLastError(kUnsetError);
        EXPECT_EQ(row.ok, SetCurrentDirectoryW(row.name));
        EXPECT_EQ(row.ok ? kUnsetError : row.error, GetLastError());
        WCHAR cwd[MAX_PATH];
        DWORD length = GetCurrentDirectoryW(MAX_PATH, cwd);
        EXPECT_EQ(text(row.cwd), std::u16string(cwd, length < MAX_PATH ? length : 0));
    }
}

// --- Buffer rules ---------------------------------------------------------------------------------

TEST_F(FullPathTest, EveryCapacity)
{
    // "c:\test" is 7 units: it fits from capacity 8 on; below, the required 8 and an untouched buffer.
    for (DWORD capacity = 0; capacity <= 10; ++capacity) {
        SCOPED_TRACE(capacity);
        std::vector<WCHAR> buffer(16, kSentinel);
        LPWSTR filePart = nullptr;
        DWORD ret = GetFullPathNameW(u"c:/test", capacity, buffer.data(), &filePart);
        if (capacity < 8) {
            EXPECT_EQ(8u, ret);
            EXPECT_TRUE(untouched(buffer, 0));
            EXPECT_EQ(nullptr, filePart);
        } else {
            EXPECT_EQ(7u, ret);
            EXPECT_EQ(u"c:\\test", std::u16string(buffer.data()));
            EXPECT_TRUE(untouched(buffer, 8));
            EXPECT_EQ(buffer.data() + 3, filePart);
        }
    }
    EXPECT_EQ(8u, GetFullPathNameW(u"c:/test", 0, nullptr, nullptr));
    SetLastError(kUnsetError);
    EXPECT_EQ(0u, GetFullPathNameW(u"c:/test", 100, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());

    std::vector<WCHAR> cwd(16, kSentinel);
    EXPECT_EQ(11u, GetCurrentDirectoryW(10, cwd.data()));
    EXPECT_TRUE(untouched(cwd, 0));
    EXPECT_EQ(10u, GetCurrentDirectoryW(11, cwd.data()));
    EXPECT_EQ(u"C:\\windows", std::u16string(cwd.data()));
    EXPECT_EQ(11u, GetCurrentDirectoryW(0, nullptr));
}

TEST_F(FullPathTest, SameBufferForNameAndResult)
{
    WCHAR buffer[MAX_PATH] = u"a/../b/./c.";
    EXPECT_EQ(14u, GetFullPathNameW(buffer, MAX_PATH, buffer, nullptr));
    EXPECT_EQ(u"C:\\windows\\b\\c", text(buffer));
}

// --- Bad input ------------------------------------------------------------------------------------

TEST_F(FullPathTest, LongNames)
{
    struct Row {
        size_t units; // of "c:\aaa..."
        DWORD capacity;
        DWORD ret;
        DWORD error;
    } rows[] = {
        {32766, 32767, 32766, 0},
        {32766, 260, 32767, 0},
        {32767, 40000, 0, ERROR_FILENAME_EXCED_RANGE},
        {40000, 40001, 0, ERROR_FILENAME_EXCED_RANGE},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.units);
        std::u16string name = u"c:\\" + std::u16string(row.units - 3, u'a');
        std::vector<WCHAR> buffer(row.capacity + 1, kSentinel);
        SetLastError(kUnsetError);
        EXPECT_EQ(row.ret, GetFullPathNameW(name.c_str(), row.capacity, buffer.data(), nullptr));
        EXPECT_EQ(row.error ? row.error : kUnsetError, GetLastError());
        if (row.ret == row.units)
            EXPECT_EQ(name, std::u16string(buffer.data()));
        else
            EXPECT_TRUE(untouched(buffer, 0));
    }
    // A relative name that fits on its own but not after the current directory.
    std::u16string relative(32760, u'b');
    SetLastError(kUnsetError);
    EXPECT_EQ(0u, GetFullPathNameW(relative.c_str(), 0, nullptr, nullptr));
    EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, GetLastError());
}

TEST_F(FullPathTest, OddUnits)
{
    const WCHAR lone[] = {u'c', u':', u'\\', 0xD800, u'x', 0xDC00, 0};
    const WCHAR embedded[] = {u'c', u':', u'\\', u'x', 0, u'y', u'z', 0};
    WCHAR buffer[MAX_PATH];
    EXPECT_EQ(6u, GetFullPathNameW(lone, MAX_PATH, buffer, nullptr));
    EXPECT_EQ(text(lone), text(buffer));
    EXPECT_EQ(4u, GetFullPathNameW(embedded, MAX_PATH, buffer, nullptr));
    EXPECT_EQ(u"c:\\x", text(buffer));
}

// --- Scripted answers and threads -----------------------------------------------------------------

static DWORD scriptedFull(LPCWSTR, DWORD, LPWSTR, LPWSTR *)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
}

TEST_F(FullPathTest, HookAnswersUntilRemoved)
{
    WCHAR buffer[MAX_PATH];
    StandinSetFullPathHook(scriptedFull);
    EXPECT_EQ(0u, GetFullPathNameW(u"x", MAX_PATH, buffer, nullptr));
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, GetLastError());
    StandinSetFullPathHook(nullptr);
    EXPECT_EQ(12u, GetFullPathNameW(u"x", MAX_PATH, buffer, nullptr));
    StandinSetFullPathHook(scriptedFull);
    StandinResetPaths();
    StandinMapDrive(u'C', root.c_str());
    EXPECT_NE(0u, GetFullPathNameW(u"x", MAX_PATH, buffer, nullptr));
}

TEST_F(FullPathTest, LastErrorIsPerThread)
{
    SetLastError(kUnsetError);
    std::thread other([] {
        GetFullPathNameW(u"", 0, nullptr, nullptr);
        EXPECT_EQ(ERROR_INVALID_NAME, GetLastError());
    });
    other.join();
    EXPECT_EQ(kUnsetError, GetLastError());
}
