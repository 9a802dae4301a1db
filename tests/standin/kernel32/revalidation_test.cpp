// Folder indexes that answer without a look at their folders must still see every change made
// between two calls: a renamed or replaced folder, an added file, a short name that moved, a change
// made by another process or through another path to the same folder.
#include "fixture.h"

#include <sys/wait.h>

#include <cstdio>
#include <functional>

#include "support/text.h"

namespace {

class RevalidationTest : public TempRootTest {
protected:
    void SetUp() override
    {
        TempRootTest::SetUp();
        for (const char *entry :
             {"Alpha/", "Alpha/Beta/", "Alpha/Beta/Gamma/", "Alpha/Beta/Gamma/Delta/",
              "Alpha/Beta/Gamma/Delta/File.txt", "Long Folder Name/", "Long Folder Name/Inner.txt"})
            createEntry(root, entry);
        sleep(2); // settled: by their times alone, the folders' indexes would be trusted from now on
        EXPECT_EQ(u"C:\\Alpha\\Beta\\Gamma\\Delta\\File.txt", longName(kDeep));
        EXPECT_EQ(u"C:\\Alpha\\Beta\\Gamma\\Delta\\File.txt", longName(kDeep)); // from the indexes
    }

    // GetLongPathNameW's answer, or "error N".
    static std::u16string longName(const char16_t *name)
    {
        WCHAR buffer[MAX_PATH];
        DWORD n = GetLongPathNameW(name, buffer, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) {
            std::string error = "error " + std::to_string(GetLastError());
            return std::u16string(error.begin(), error.end());
        }
        return std::u16string(buffer, n);
    }

    static std::u16string shortName(const char16_t *name)
    {
        WCHAR buffer[MAX_PATH];
        DWORD n = GetShortPathNameW(name, buffer, MAX_PATH);
        return n == 0 || n >= MAX_PATH ? u"error" : std::u16string(buffer, n);
    }

    // The exit status of a child process that runs `work`: 0 when work gave true, -1 when no child
    // could be started or waited for.
    static int statusOfChild(const std::function<bool()> &work)
    {
        pid_t child = fork();
        if (child < 0) return -1;
        if (child == 0) _exit(work() ? 0 : 1);
        int status = -1;
        return waitpid(child, &status, 0) == child ? status : -1;
    }

    void move(const std::string &from, const std::string &to)
    {
        ASSERT_EQ(0, rename((root + "/" + from).c_str(), (root + "/" + to).c_str())) << from;
    }

    static constexpr const char16_t *kDeep = u"C:\\alpha\\beta\\gamma\\delta\\file.txt";
};

} // namespace

TEST_F(RevalidationTest, RenamedFolderOnTheWay)
{
    move("Alpha/Beta", "Alpha/Bet2");
    EXPECT_EQ(u"error 3", longName(kDeep)); // ERROR_PATH_NOT_FOUND
    EXPECT_EQ(u"C:\\Alpha\\Bet2\\Gamma\\Delta\\File.txt",
              longName(u"C:\\alpha\\bet2\\gamma\\delta\\file.txt"));
    move("Alpha/Bet2", "Alpha/BETA"); // back, in another case
    EXPECT_EQ(u"C:\\Alpha\\BETA\\Gamma\\Delta\\File.txt", longName(kDeep));
}

TEST_F(RevalidationTest, FileAddedAndRemoved)
{
    const char16_t *added = u"C:\\alpha\\beta\\gamma\\delta\\new.txt";
    EXPECT_EQ(u"error 2", longName(added)); // ERROR_FILE_NOT_FOUND
    createEntry(root, "Alpha/Beta/Gamma/Delta/New.txt");
    EXPECT_EQ(u"C:\\Alpha\\Beta\\Gamma\\Delta\\New.txt", longName(added));
    ASSERT_EQ(0, unlink((root + "/Alpha/Beta/Gamma/Delta/New.txt").c_str()));
    EXPECT_EQ(u"error 2", longName(added));
}

TEST_F(RevalidationTest, FolderReplacedUnderTheSameName)
{
    move("Alpha/Beta/Gamma", "Alpha/Old Gamma");
    createEntry(root, "Alpha/Beta/Gamma/");
    createEntry(root, "Alpha/Beta/Gamma/Other.txt");
    EXPECT_EQ(u"error 3", longName(kDeep));
    EXPECT_EQ(u"C:\\Alpha\\Beta\\Gamma\\Other.txt", longName(u"C:\\alpha\\beta\\gamma\\other.txt"));
    EXPECT_EQ(u"C:\\Alpha\\old gamma\\Delta\\File.txt", longName(u"C:\\alpha\\old gamma\\delta\\file.txt"));
}

TEST_F(RevalidationTest, ShortNameOfAnAncestorMoves)
{
    EXPECT_EQ(u"C:\\LONGFO~1\\inner.txt", shortName(u"C:\\long folder name\\inner.txt"));
    createEntry(root, "Long Folder Adder/"); // sorts first, so it takes ~1
    EXPECT_EQ(u"C:\\LONGFO~2\\inner.txt", shortName(u"C:\\long folder name\\inner.txt"));
    EXPECT_EQ(u"C:\\Long Folder Name\\Inner.txt", longName(u"C:\\LONGFO~2\\INNER.TXT"));
}

TEST_F(RevalidationTest, ChangeMadeByAnotherProcess)
{
    ASSERT_EQ(0, statusOfChild([&] {
                  return rename((root + "/Alpha/Beta/Gamma/Delta/File.txt").c_str(),
                                (root + "/Alpha/Beta/Gamma/Delta/Moved.txt").c_str()) == 0;
              }));
    EXPECT_EQ(u"error 2", longName(kDeep));
    EXPECT_EQ(u"C:\\Alpha\\Beta\\Gamma\\Delta\\Moved.txt",
              longName(u"C:\\alpha\\beta\\gamma\\delta\\moved.txt"));
}

TEST_F(RevalidationTest, ChildProcessSeesChangesToo)
{
    // The child inherits the parent's indexes; it must not trust them, nor take the parent's reports.
    EXPECT_EQ(0, statusOfChild([&] {
                  return rename((root + "/Alpha/Beta").c_str(), (root + "/Alpha/Other").c_str()) == 0 &&
                         longName(kDeep) == u"error 3" &&
                         longName(u"C:\\alpha\\other\\gamma\\delta\\file.txt") ==
                             u"C:\\Alpha\\Other\\Gamma\\Delta\\File.txt";
              }));
    EXPECT_EQ(u"error 3", longName(kDeep));
    EXPECT_EQ(u"C:\\Alpha\\Other\\Gamma\\Delta\\File.txt",
              longName(u"C:\\alpha\\other\\gamma\\delta\\file.txt"));
}

TEST_F(RevalidationTest, TwoPathsToOneFolder)
{
    ASSERT_EQ(0, symlink((root + "/Alpha/Beta/Gamma").c_str(), (root + "/Shortcut").c_str()));
    EXPECT_EQ(u"C:\\Shortcut\\Delta\\File.txt", longName(u"C:\\Shortcut\\delta\\file.txt"));
    createEntry(root, "Alpha/Beta/Gamma/Delta/Late.txt");
    EXPECT_EQ(u"C:\\Shortcut\\Delta\\Late.txt", longName(u"C:\\Shortcut\\delta\\late.txt"));
    EXPECT_EQ(u"C:\\Alpha\\Beta\\Gamma\\Delta\\Late.txt",
              longName(u"C:\\alpha\\beta\\gamma\\delta\\late.txt"));
    ASSERT_EQ(0, unlink((root + "/Shortcut").c_str()));
    EXPECT_EQ(u"error 3", longName(u"C:\\Shortcut\\delta\\file.txt"));
    createEntry(root, "Alpha/Beta/Gamma/Delta/Later.txt");
    EXPECT_EQ(u"C:\\Alpha\\Beta\\Gamma\\Delta\\Later.txt",
              longName(u"C:\\alpha\\beta\\gamma\\delta\\later.txt"));
}

// A name that begins with the last name's folders starts after them: only where the two agree unit
// for unit up to a separator, in the same form, from the same mapped folder.
TEST_F(RevalidationTest, NextNameResumesOnlyWhereTheNamesAgree)
{
    createEntry(root, "Alpha/Beta/Gamma/Delta/Other.txt");
    createEntry(root, "Alpha/Bet/");
    struct Step {
        bool isShort;
        const char16_t *name, *expected;
    } steps[] = {
        {false, u"C:\\alpha\\beta\\gamma\\delta\\file.txt", u"C:\\Alpha\\Beta\\Gamma\\Delta\\File.txt"},
        {false, u"C:\\alpha\\beta\\gamma\\delta\\other.txt", u"C:\\Alpha\\Beta\\Gamma\\Delta\\Other.txt"},
        {false, u"C:\\alpha\\beta\\GAMMA\\delta", u"C:\\Alpha\\Beta\\Gamma\\Delta"},
        {false, u"C:\\alpha\\bet\\gamma", u"error 2"}, // "Bet", which holds no "gamma"
        {false, u"C:\\alpha\\bet\\gamma", u"error 2"},
        {false, u"C:\\alpha\\beta\\gamma", u"C:\\Alpha\\Beta\\Gamma"}, // not from "Bet" on
        {false, u"C:\\alpha\\betax\\gamma", u"error 3"},
        {false, u"C:\\alpha\\beta\\gamma\\delta\\nothing.txt", u"error 2"},
        {false, u"C:\\alpha\\beta\\gamma\\delta\\nothing\\x", u"error 3"},
        {false, u"C:\\alpha\\beta\\..\\beta\\gamma", u"C:\\Alpha\\Beta\\..\\Beta\\Gamma"},
        {false, u"C:\\alpha\\beta\\..\\beta\\gamma\\..\\..\\beta",
         u"C:\\Alpha\\Beta\\..\\Beta\\Gamma\\..\\..\\Beta"},
        {false, u"C:\\alpha\\beta\\..\\bet", u"C:\\Alpha\\Beta\\..\\Bet"},
        {true, u"C:\\long folder name\\inner.txt", u"C:\\LONGFO~1\\inner.txt"},
        {false, u"C:\\long folder name\\inner.txt", u"C:\\long folder name\\Inner.txt"},
        {true, u"C:\\long folder name\\inner.txt", u"C:\\LONGFO~1\\inner.txt"},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(support::printable(step.name));
        EXPECT_EQ(step.expected, step.isShort ? shortName(step.name) : longName(step.name));
    }
}

TEST_F(RevalidationTest, NextNameOnADriveMappedElsewhere)
{
    EXPECT_EQ(u"C:\\Alpha\\Beta\\Gamma\\Delta\\File.txt", longName(kDeep));
    support::TempFolder other("paths-test");
    createEntry(other.string(), "ALPHA/");
    createEntry(other.string(), "ALPHA/BETA/");
    createEntry(other.string(), "ALPHA/BETA/GAMMA/");
    createEntry(other.string(), "ALPHA/BETA/GAMMA/DELTA/");
    createEntry(other.string(), "ALPHA/BETA/GAMMA/DELTA/FILE.TXT");
    ASSERT_TRUE(StandinMapDrive(u'C', other.string().c_str()));
    EXPECT_EQ(u"C:\\ALPHA\\BETA\\GAMMA\\DELTA\\FILE.TXT", longName(kDeep));
    EXPECT_EQ(u"C:\\ALPHA\\BETA\\GAMMA\\DELTA\\FILE.TXT", longName(kDeep));
    ASSERT_TRUE(StandinMapDrive(u'C', root.c_str()));
    EXPECT_EQ(u"C:\\Alpha\\Beta\\Gamma\\Delta\\File.txt", longName(kDeep));
}

// Past the cache's limit every index is dropped, in the middle of a walk that noted folders from them:
// the next name must not resume from those.
TEST_F(RevalidationTest, NextNameAfterTheIndexesWereDropped)
{
    char entry[32];
    createEntry(root, "Many/");
    for (int f = 0; f < 300; ++f) {
        std::snprintf(entry, sizeof entry, "Many/F%03d/", f);
        createEntry(root, entry);
        std::snprintf(entry, sizeof entry, "Many/F%03d/X.txt", f);
        createEntry(root, entry);
    }
    for (int f = 0; f < 300; ++f) {
        std::snprintf(entry, sizeof entry, "%03d", f);
        std::u16string number(entry, entry + 3);
        SCOPED_TRACE(entry);
        ASSERT_EQ(u"C:\\Many\\F" + number + u"\\X.txt",
                  longName((u"C:\\many\\f" + number + u"\\x.txt").c_str()));
    }
}
