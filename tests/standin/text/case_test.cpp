// The stand-ins' one case rule: which units Windows takes as the same letter, and which it does not.
#include "case.h"

#include <gtest/gtest.h>

#include <cstdio>

static std::string hex(char16_t c)
{
    char text[8];
    snprintf(text, sizeof text, "U+%04X", unsigned(c));
    return text;
}

TEST(Case, UpcasesEachUnitBySimpleMapping)
{
    struct Row {
        char16_t unit, upper;
        const char *why;
    };
    const Row rows[] = {
        {u'a', u'A', "ASCII"},
        {u'z', u'Z', "ASCII, last letter"},
        {u'A', u'A', "a capital stays"},
        {u'`', u'`', "just before 'a'"},
        {u'{', u'{', "just after 'z'"},
        {u'@', u'@', "just before 'A'"},
        {0xE9, 0xC9, "Latin-1 e acute"},
        {0xFF, 0x178, "y diaeresis: its capital is in Latin Extended-A"},
        {0xF7, 0xF7, "division sign is no letter"},
        {0xDF, 0xDF, "sharp s has no simple capital"},
        {0xB5, 0x39C, "micro sign -> Greek capital mu"},
        {0x131, u'I', "dotless i -> I"},
        {0x17F, u'S', "long s -> S"},
        {0x149, 0x149, "n preceded by apostrophe: only a full mapping"},
        {0x1C5, 0x1C4, "title-case DZ caron -> capital"},
        {0x1C6, 0x1C4, "small dz caron -> capital"},
        {0x3C2, 0x3A3, "final sigma -> capital sigma"},
        {0x3C9, 0x3A9, "Greek omega"},
        {0x390, 0x390, "iota with dialytika and tonos: only a full mapping"},
        {0x450, 0x400, "Cyrillic ie grave"},
        {0x561, 0x531, "Armenian ayb"},
        {0x1E01, 0x1E00, "Latin Extended Additional"},
        {0x24D0, 0x24B6, "circled a"},
        {0xFF41, 0xFF21, "fullwidth a"},
        {0xAB70, 0x13A0, "Cherokee small a"},
        {0xD801, 0xD801, "high surrogate as it stands"},
        {0xDC28, 0xDC28, "low surrogate as it stands"},
        {0xFFFF, 0xFFFF, "last unit"},
        {0x0000, 0x0000, "first unit"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(hex(row.unit) + ": " + row.why);
        EXPECT_EQ(hex(text::upcase(row.unit)), hex(row.upper));
    }
}

TEST(Case, UpcasedUnitsStayUpcased)
{
    // Names are keyed by their upcased form; upcasing a key again must not move it.
    for (unsigned c = 0; c < 0x10000; ++c) {
        char16_t upper = text::upcase(char16_t(c));
        if (text::upcase(upper) != upper)
            ADD_FAILURE() << hex(char16_t(c)) << " -> " << hex(upper) << " -> " << hex(text::upcase(upper));
    }
}

TEST(Case, ComparesNames)
{
    struct Row {
        std::u16string a, b;
        int order; // sign of compareUpcased(a, b)
    };
    const Row rows[] = {
        {u"Caf\u00E9", u"CAF\u00C9", 0},
        {u"\u00FFx", u"\u0178X", 0},
        {u"\u0441\u043B\u043E\u0432\u043E", u"\u0421\u041B\u041E\u0412\u041E", 0}, // Cyrillic word
        {u"stra\u00DFe", u"STRASSE", 1}, // no full mapping: sharp s stays one unit
        {u"a", u"B", -1},                // by upcased units, not by raw ones
        {u"_", u"a", 1},                 // '_' (0x5F) after 'A' (0x41) once upcased
        {u"abc", u"ABCD", -1},           // a prefix comes first
        {u"", u"", 0},
        {u"\xD801\xDC28", u"\xD801\xDC00", 1}, // Deseret small and capital long i: as they stand
        {u"\xD801\xDC28", u"\xD801\xDC28", 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.a) + " vs " + testing::PrintToString(row.b));
        int order = text::compareUpcased(row.a, row.b);
        EXPECT_EQ((order > 0) - (order < 0), row.order);
        EXPECT_EQ(text::equalUpcased(row.a, row.b), row.order == 0);
        EXPECT_EQ(text::equalUpcased(row.b, row.a), row.order == 0);
        EXPECT_EQ(text::upcase(row.a) == text::upcase(row.b), row.order == 0);
    }
}

TEST(Case, UpcasesWholeNames)
{
    EXPECT_EQ(text::upcase(u"Caf\u00E9 \u03C3\u03BF\u03C6\u03AF\u03B1.txt"),
              u"CAF\u00C9 \u03A3\u039F\u03A6\u038A\u0391.TXT");
    EXPECT_EQ(text::upcase(u"a\xD83D\xDE00z"), u"A\xD83D\xDE00Z"); // a pair passes untouched
    EXPECT_EQ(text::upcase(std::u16string(u"x\0y", 3)), std::u16string(u"X\0Y", 3));
}
