// UTF-8 decoding at its edges, and the lossless mapping of host name bytes to UTF-16 and back.
#include <gtest/gtest.h>

#include "utf8.h"

TEST(Utf8, DecodesValidSequencesAndRefusesEveryMalformedOne)
{
    struct Row {
        const char *what;
        std::string bytes;
        size_t length; // 0: refused
        char32_t code_point;
    };
    const Row rows[] = {
        {"ASCII", "a", 1, U'a'},
        {"NUL", std::string(1, '\0'), 1, 0},
        {"smallest 2-byte", "\xC2\x80", 2, 0x80},
        {"largest 3-byte", "\xEF\xBF\xBF", 3, 0xFFFF},
        {"largest code point", "\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
        {"overlong '/'", "\xC0\xAF", 0, 0},
        {"overlong 3-byte", "\xE0\x9F\xBF", 0, 0},
        {"overlong 4-byte", "\xF0\x8F\xBF\xBF", 0, 0},
        {"high surrogate", "\xED\xA0\x80", 0, 0},
        {"low surrogate", "\xED\xBF\xBF", 0, 0},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", 0, 0},
        {"stray continuation", "\x80", 0, 0},
        {"cut at the end", "\xE2\x82", 0, 0},
        {"ASCII where a continuation belongs",
         "\xE2"
         "a\xAC",
         0, 0},
        {"5-byte lead", "\xF8\x88\x80\x80\x80", 0, 0},
        {"0xFF", "\xFF", 0, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        char32_t cp = 0xDEAD;
        EXPECT_EQ(row.length, text::decode_utf8(row.bytes, 0, &cp));
        if (row.length) {
            EXPECT_EQ(row.code_point, cp);
        }
    }
    // A sequence is read where it starts, not from the front of the text.
    char32_t cp = 0;
    EXPECT_EQ(2u, text::decode_utf8("ab\xC3\xA9", 2, &cp));
    EXPECT_EQ(0xE9u, cp);
}

TEST(Utf8, HostNameBytesSurviveTheTripThroughUtf16)
{
    struct Row {
        const char *what;
        std::string bytes;
        std::u16string units;
    };
    const Row rows[] = {
        {"UTF-8 text", "caf\xC3\xA9 \xF0\x9F\x98\x80", u"caf\u00E9 \U0001F600"},
        {"a Latin-1 byte", "caf\xE9", u"caf\xDCE9"},
        {"a cut sequence keeps both bytes", "\xE2\x82x", u"\xDCE2\xDC82x"},
        {"an encoded surrogate is three bytes", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.units, text::utf16_from_bytes(row.bytes));
        std::string back;
        ASSERT_TRUE(text::bytes_from_utf16(row.units, back));
        EXPECT_EQ(row.bytes, back);
    }
    // Every single byte and every byte pair comes back as it was.
    for (unsigned a = 0; a < 256; ++a) {
        for (unsigned b = 0; b < 256; ++b) {
            std::string bytes{static_cast<char>(a), static_cast<char>(b)};
            std::string back;
            ASSERT_TRUE(text::bytes_from_utf16(text::utf16_from_bytes(bytes), back)) << a << " " << b;
            ASSERT_EQ(bytes, back) << a << " " << b;
        }
    }
}

TEST(Utf8, UnitsWithNoByteFormAreRefusedOrShownAsReplacement)
{
    std::string bytes = "left over";
    EXPECT_FALSE(text::bytes_from_utf16(u"a\xD800", bytes)); // a high surrogate alone
    EXPECT_FALSE(text::bytes_from_utf16(u"\xDC7F", bytes));  // below the escaped bytes' range
    EXPECT_TRUE(text::bytes_from_utf16(u"", bytes));
    EXPECT_EQ("", bytes);

    EXPECT_EQ("a\xEF\xBF\xBD"
              "b",
              text::utf8_from_utf16(u"a\xD800"
                                    "b"));
    EXPECT_EQ("\xEF\xBF\xBD\xEF\xBF\xBD", text::utf8_from_utf16(u"\xDC00\xD800")); // wrong order
    EXPECT_EQ("\xF0\x9F\x98\x80", text::utf8_from_utf16(u"\xD83D\xDE00"));
}
