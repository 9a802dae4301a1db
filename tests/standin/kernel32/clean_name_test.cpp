// GetFullPathNameW's fast path against the full rules: every name it takes as already full and clean
// must come out of the normaliser unchanged, with the same file part.
#include "clean_name.h"
#include "names.h"
#include "path_cases.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/text.h"

// Whether the fast path takes `name`, checking that the normaliser agrees when it does.
static bool takenAndAgreed(const std::u16string &name)
{
    size_t fastPart = 0, length = 0;
    if (!k32::isCleanFullName(name.c_str(), names::kMaxUnits, length, fastPart)) return false;
    EXPECT_EQ(name.size(), length);
    static const std::u16string kNoDirs[26];
    names::Context context{u"C:\\windows", kNoDirs};
    std::u16string full;
    size_t filePart = 0;
    EXPECT_EQ(DWORD(ERROR_SUCCESS), names::fullName(name.data(), name.size(), context, full, filePart));
    EXPECT_EQ(name, full);
    EXPECT_EQ(filePart, fastPart);
    return true;
}

TEST(CleanName, TakesPlainFullNames)
{
    const char16_t *const kPlain[] = {
        u"C:\\x",
        u"c:\\Program Files\\Data\\ReadMe.TXT",
        u"Z:\\tmp\\orlenda bench\\folder with long name 07\\mixedcase file 123.txt",
        u"C:\\ leading space\\caf\u00E9\\name\u00A0",
        u"C:\\PROGRA~1\\a.b.c",
    };
    for (const char16_t *name : kPlain) {
        SCOPED_TRACE(support::printable(name));
        EXPECT_TRUE(takenAndAgreed(name));
    }
}

TEST(CleanName, LeavesEverySpecialFormToTheRules)
{
    const char16_t *const kSpecial[] = {
        u"C:\\",
        u"C:",
        u"C:x",
        u"c:/test",
        u"C:\\a\\\\b",
        u"C:\\a\\",
        u"C:\\a.",
        u"C:\\a \\b",
        u"C:\\a\\.",
        u"C:\\a\\..",
        u"C:\\a..\\b",
        u"C:\\a\\...",
        u"C:\\nul",
        u"C:\\x\\NUL.txt",
        u"C:\\COM1",
        u"C:\\lpt\u00B9",
        u"C:\\aux\\x",
        u"C:\\Prn.log",
        u"C:\\a:stream",
        u"C:\\a*b",
        u"C:\\a?b",
        u"C:\\a\"b",
        u"C:\\a<b",
        u"C:\\a|b",
        u"C:\\a\u0001b",
        u"\\\\srv\\share\\x",
        u"\\\\?\\C:\\x",
        u"\\\\.\\con",
        u"\\x",
        u"x",
        u"1:\\x",
        u"\u00C9:\\x",
        u"C:\\console\\x", // only starts like "con", but left to the rules all the same
    };
    for (const char16_t *name : kSpecial) {
        SCOPED_TRACE(support::printable(name));
        EXPECT_FALSE(takenAndAgreed(name));
    }
}

TEST(CleanName, AgreesOnTheCaseTables)
{
    size_t taken = 0;
    for (const FullPathCase &row : kFullPathCases) taken += takenAndAgreed(row.name);
    for (const ConvertCase &row : kLongPathCases) taken += takenAndAgreed(row.name);
    for (const ConvertCase &row : kShortPathCases) taken += takenAndAgreed(row.name);
    EXPECT_GT(taken, 10u); // the tables' plain names do take the fast path
}

TEST(CleanName, AgreesOnGeneratedNames)
{
    // Names built from pieces each rule cares about, in every arrangement a seeded generator makes.
    const std::u16string kRoots[] = {u"C:\\",        u"c:\\", u"z:\\", u"C:",  u"C:/", u"\\\\srv\\share\\",
                                     u"\\\\?\\C:\\", u"\\",   u"",     u"1:\\"};
    const std::u16string kParts[] = {
        u"a",
        u"Program Files",
        u"x.txt",
        u"con",
        u"CON.txt",
        u"nul",
        u"com1",
        u"lpt\u00B9",
        u"aux.",
        u"prn ",
        u".",
        u"..",
        u"...",
        u"a.",
        u"a ",
        u" a",
        u"a..",
        u"",
        u"\u00A0",
        u"\u00E9t\u00E9",
        u"a:b",
        u"a*b",
        u"x/y",
        u"  ",
        std::u16string(1, char16_t(0xD800)),
        u"MxFl123.Txt",
        u"conx",
        u"nulls",
        u"CONIN$",
        u"Dir01",
    };
    const std::u16string kSeparators[] = {u"\\", u"\\", u"\\", u"/", u"\\\\"};
    std::mt19937 random(12);
    size_t taken = 0;
    for (int i = 0; i < 20000; ++i) {
        std::u16string name = kRoots[random() % std::size(kRoots)];
        int parts = 1 + int(random() % 5);
        for (int p = 0; p < parts; ++p) {
            if (p > 0) name += kSeparators[random() % std::size(kSeparators)];
            name += kParts[random() % std::size(kParts)];
        }
        if (name.empty()) continue;
        SCOPED_TRACE(support::printable(name));
        taken += takenAndAgreed(name);
    }
    EXPECT_GT(taken, 200u); // and the fast path is taken often enough to be tried
}
