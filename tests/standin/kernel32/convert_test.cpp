// GetLongPathNameW and GetShortPathNameW over a temporary tree: the case tables, buffer rules, in-place
// use, length limits and a folder that changes between lookups.
#include "fixture.h"
#include "path_cases.h"

#include <cstdio>
#include <thread>

namespace {

class ConvertTest : public TempRootTest {
protected:
    void SetUp() override
    {
        TempRootTest::SetUp();
        for (const char *entry : kPathTree) createEntry(root, entry);
        ASSERT_TRUE(StandinMapShare(u"\\\\srv\\share", (root + "/Program Files").c_str()));
        ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\Program Files"));
    }
};

using Convert = DWORD (*)(LPCWSTR, LPWSTR, DWORD);

} // namespace

static void runTable(Convert convert, const ConvertCase *rows, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const ConvertCase &row = rows[i];
        SCOPED_TRACE(testing::Message() << "name: " << testing::PrintToString(text(row.name)));
        std::vector<WCHAR> buffer(300, kSentinel);
        SetLastError(kUnsetError);
        DWORD ret = convert(row.name, buffer.data(), 260);
        expectRowOutcome(buffer, ret, row.expected, row.ret, row.error);
    }
}

// --- The case tables ------------------------------------------------------------------------------

TEST_F(ConvertTest, LongCaseTable)
{
    runTable(GetLongPathNameW, kLongPathCases, sizeof kLongPathCases / sizeof kLongPathCases[0]);
}

TEST_F(ConvertTest, ShortCaseTable)
{
    runTable(GetShortPathNameW, kShortPathCases, sizeof kShortPathCases / sizeof kShortPathCases[0]);
}

TEST_F(ConvertTest, ShortNamesRoundTrip)
{
    // Every entry of the tree: its short form expands back to the name as given.
    for (const char *entry : kPathTree) {
        std::string host = entry;
        if (host.back() == '/') host.pop_back();
        WCHAR windows[MAX_PATH], shortName[MAX_PATH], longName[MAX_PATH];
        ASSERT_NE(0u, StandinWindowsName((root + "/" + host).c_str(), windows, MAX_PATH));
        SCOPED_TRACE(testing::PrintToString(text(windows)));
        ASSERT_NE(0u, GetShortPathNameW(windows, shortName, MAX_PATH));
        EXPECT_NE(0u, GetLongPathNameW(shortName, longName, MAX_PATH));
        EXPECT_EQ(text(windows), text(longName));
    }
}

// --- Buffer rules ---------------------------------------------------------------------------------

TEST_F(ConvertTest, TooSmallByOne)
{
    struct Row {
        Convert convert;
        const WCHAR *name;
        const WCHAR *expected;
    } rows[] = {
        {GetLongPathNameW, u"C:\\PROGRA~2\\COMMON~1", u"C:\\Program Files\\Common Files"},
        {GetShortPathNameW, u"C:\\Program Files\\Common Files", u"C:\\PROGRA~2\\COMMON~1"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::PrintToString(text(row.name)));
        DWORD length = DWORD(text(row.expected).size());
        std::vector<WCHAR> buffer(64, kSentinel);
        EXPECT_EQ(length + 1, row.convert(row.name, buffer.data(), length));
        EXPECT_TRUE(untouched(buffer, 0));
        EXPECT_EQ(length + 1, row.convert(row.name, buffer.data(), 0));
        EXPECT_EQ(length + 1, row.convert(row.name, nullptr, 0));
        EXPECT_EQ(length, row.convert(row.name, buffer.data(), length + 1));
        EXPECT_EQ(text(row.expected), text(buffer.data()));
        EXPECT_TRUE(untouched(buffer, length + 1));
        SetLastError(kUnsetError);
        EXPECT_EQ(0u, row.convert(row.name, nullptr, 100));
        EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
        SetLastError(kUnsetError);
        EXPECT_EQ(0u, row.convert(nullptr, buffer.data(), 64));
        EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    }
}

TEST_F(ConvertTest, InPlace)
{
    struct Row {
        Convert convert;
        const WCHAR *name;
        const WCHAR *expected;
    } rows[] = {
        {GetLongPathNameW, u"C:\\PR559B~1", u"C:\\Programs Extra"}, // grows
        {GetLongPathNameW, u"C:\\AB72DF~1", u"C:\\a b"},            // shrinks
        {GetShortPathNameW, u"C:\\Programs Extra", u"C:\\PR559B~1"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::PrintToString(text(row.name)));
        std::vector<WCHAR> buffer(MAX_PATH, kSentinel);
        std::u16string name = text(row.name);
        std::copy(name.begin(), name.end(), buffer.begin());
        buffer[name.size()] = 0;
        DWORD length = DWORD(text(row.expected).size());
        EXPECT_EQ(length + 1, row.convert(buffer.data(), buffer.data(), length));
        EXPECT_EQ(name, text(buffer.data())); // too small: the name is still there
        EXPECT_EQ(length, row.convert(buffer.data(), buffer.data(), MAX_PATH));
        EXPECT_EQ(text(row.expected), text(buffer.data()));
    }
}

// --- Bad input ------------------------------------------------------------------------------------

TEST_F(ConvertTest, LengthLimits)
{
    std::string a(200, 'a'), b(100, 'b');
    createEntry(root, "Docs/" + a + "/");
    createEntry(root, "Docs/" + a + "/" + b);
    std::u16string deep = u"C:\\docs\\" + std::u16string(200, u'a') + u"\\" + std::u16string(100, u'b');
    std::u16string prefixed = u"\\\\?\\" + deep;
    std::u16string expected =
        u"\\\\?\\C:\\Docs\\" + std::u16string(200, u'a') + u"\\" + std::u16string(100, u'b');
    struct Row {
        std::u16string name;
        DWORD ret;
        DWORD error;
    } rows[] = {
        {deep, 0, ERROR_PATH_NOT_FOUND}, // exists, but not reachable without the prefix
        {prefixed, DWORD(expected.size()), 0},
        {u"\\\\?\\C:\\" + std::u16string(32760, u'x'), 0, ERROR_FILENAME_EXCED_RANGE},
        {u"\\\\?\\C:\\" + std::u16string(40000, u'x'), 0, ERROR_FILENAME_EXCED_RANGE},
        {u"\\\\?\\C:\\" + std::u16string(32759, u'x'), 0, ERROR_FILE_NOT_FOUND},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name.size());
        std::vector<WCHAR> buffer(1024, kSentinel);
        SetLastError(kUnsetError);
        EXPECT_EQ(row.ret, GetLongPathNameW(row.name.c_str(), buffer.data(), 1024));
        EXPECT_EQ(row.error ? row.error : kUnsetError, GetLastError());
        if (row.ret)
            EXPECT_EQ(expected, text(buffer.data()));
        else
            EXPECT_TRUE(untouched(buffer, 0));
    }
}

TEST_F(ConvertTest, OddUnits)
{
    const WCHAR lone[] = {u'C', u':', u'\\', 0xD800, u'x', 0};
    const WCHAR embedded[] = {u'C', u':', u'\\', u'd', u'o', u'c', u's', 0, u'\\', u'x', 0};
    WCHAR buffer[MAX_PATH];
    SetLastError(kUnsetError);
    EXPECT_EQ(0u, GetLongPathNameW(lone, buffer, MAX_PATH));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(7u, GetLongPathNameW(embedded, buffer, MAX_PATH));
    EXPECT_EQ(u"C:\\Docs", text(buffer));
}

TEST_F(ConvertTest, RandomNamesStayInsideTheirBuffers)
{
    // Names built from the units that steer the parsers, at every capacity around the answer: the
    // result is terminated where the return value says, nothing past the capacity is written, and
    // a failure leaves the buffer alone.
    static const WCHAR kUnits[] = {u'\\', u'/', u'.', u' ', u'?', u':',   u'C',   u'c',
                                   u'P',  u'~', u'1', u'*', u'x', 0xD800, 0xDC41, 0x00E9};
    Convert convertors[] = {GetLongPathNameW, GetShortPathNameW};
    unsigned seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 1500; ++round) {
        std::u16string name;
        for (unsigned length = next() % 14; length > 0; --length)
            name += kUnits[next() % (sizeof kUnits / sizeof kUnits[0])];
        SCOPED_TRACE(testing::PrintToString(name));
        DWORD need = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
        for (DWORD capacity = need ? need - 1 : 0; capacity <= need + 1; ++capacity) {
            std::vector<WCHAR> buffer(capacity + 8, kSentinel);
            DWORD ret = GetFullPathNameW(name.c_str(), capacity, buffer.data(), nullptr);
            bool written = ret && ret < capacity;
            EXPECT_TRUE(!written || buffer[ret] == 0);
            EXPECT_TRUE(untouched(buffer, written ? ret + 1 : 0));
        }
        for (Convert convert : convertors) {
            DWORD size = convert(name.c_str(), nullptr, 0);
            for (DWORD capacity = size ? size - 1 : 0; capacity <= size + 1; ++capacity) {
                std::vector<WCHAR> buffer(capacity + 8, kSentinel);
                DWORD ret = convert(name.c_str(), buffer.data(), capacity);
                EXPECT_TRUE(ret == 0 || ret == size || ret + 1 == size);
                bool written = ret && ret < capacity;
                EXPECT_TRUE(!written || buffer[ret] == 0);
                EXPECT_TRUE(untouched(buffer, written ? ret + 1 : 0));
            }
        }
    }
}

// --- A folder that changes ------------------------------------------------------------------------

TEST_F(ConvertTest, IndexFollowsTheFolder)
{
    WCHAR buffer[MAX_PATH];
    SetLastError(kUnsetError);
    EXPECT_EQ(0u, GetLongPathNameW(u"C:\\NEWFIL~1.TXT", buffer, MAX_PATH));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());

    createEntry(root, "New File.txt");
    createEntry(root, "New Filing.txt");
    EXPECT_EQ(15u, GetLongPathNameW(u"C:\\NEWFIL~1.TXT", buffer, MAX_PATH));
    EXPECT_EQ(u"C:\\New File.txt", text(buffer));
    EXPECT_EQ(17u, GetLongPathNameW(u"C:\\newfil~2.txt", buffer, MAX_PATH));
    EXPECT_EQ(u"C:\\New Filing.txt", text(buffer));

    ASSERT_EQ(0, rename((root + "/New File.txt").c_str(), (root + "/Zed File.txt").c_str()));
    EXPECT_EQ(17u, GetLongPathNameW(u"C:\\NEWFIL~1.TXT", buffer, MAX_PATH));
    EXPECT_EQ(u"C:\\New Filing.txt", text(buffer));
    EXPECT_EQ(15u, GetShortPathNameW(u"C:\\zed file.txt", buffer, MAX_PATH));
    EXPECT_EQ(u"C:\\ZEDFIL~1.TXT", text(buffer));

    createEntry(root, "Fresh/");
    EXPECT_EQ(8u, GetLongPathNameW(u"C:\\FRESH", buffer, MAX_PATH));
    EXPECT_EQ(u"C:\\Fresh", text(buffer));
}

TEST_F(ConvertTest, SettledFolder)
{
    // Two seconds after its last change a folder's index answers on its own; the same answers hold,
    // and a later change is still seen.
    sleep(2);
    runTable(GetLongPathNameW, kLongPathCases, sizeof kLongPathCases / sizeof kLongPathCases[0]);
    runTable(GetShortPathNameW, kShortPathCases, sizeof kShortPathCases / sizeof kShortPathCases[0]);

    WCHAR buffer[MAX_PATH];
    createEntry(root, "Late Entry.txt");
    EXPECT_EQ(17u, GetLongPathNameW(u"C:\\lateen~1.txt", buffer, MAX_PATH));
    EXPECT_EQ(u"C:\\Late Entry.txt", text(buffer));
    ASSERT_EQ(0, rmdir((root + "/Docs").c_str()));
    SetLastError(kUnsetError);
    EXPECT_EQ(0u, GetLongPathNameW(u"C:\\DOCS", buffer, MAX_PATH));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
}

TEST_F(ConvertTest, ConcurrentLookups)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 200; ++i) {
                WCHAR buffer[MAX_PATH];
                EXPECT_EQ(29u, GetLongPathNameW(u"C:\\PROGRA~2\\COMMON~1", buffer, MAX_PATH));
                EXPECT_EQ(0u, GetLongPathNameW(u"C:\\nope", buffer, MAX_PATH));
                EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
}
