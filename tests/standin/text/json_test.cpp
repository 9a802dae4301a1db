// JSON strings of UTF-16 units and of 8-bit messages.
#include <gtest/gtest.h>

#include "json.h"

TEST(Json, EscapesWhatJsonNeedsAndKeepsUnpairedSurrogatesVisible)
{
    struct Row {
        std::u16string units;
        std::string json;
    };
    const Row rows[] = {
        {u"", R"("")"},
        {u"say \"hi\"\\", R"("say \"hi\"\\")"},
        {std::u16string(u"\b\t\n\v\f\r\x1F\0", 8), R"("\b\t\n\u000b\f\r\u001f\u0000")"},
        {u"/\x7F", "\"/\x7F\""},
        {u"\u00E9\U0001F600", "\"\xC3\xA9\xF0\x9F\x98\x80\""},
        {u"\xD800x\xDFFF", R"("\ud800x\udfff")"},
        // Plain ASCII runs on either side of a pair, and a high surrogate with nothing after it.
        {u"ab\U0001F600cd\xD83D", "\"ab\xF0\x9F\x98\x80"
                                  R"(cd\ud83d")"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.json);
        EXPECT_EQ(row.json, text::json_string(row.units));
    }
}

// Printable ASCII is gathered in pieces of 512 bytes, sixteen units at a time where it can be:
// text longer than a piece, and escapes anywhere in it, come out whole.
TEST(Json, LongTextComesOutWhole)
{
    struct Row {
        const char *what;
        std::u16string units;
        std::string json;
    };
    const Row rows[] = {
        {"an escape at the end of a piece", std::u16string(509, u'a') + u"\\",
         "\"" + std::string(509, 'a') + "\\\\\""},
        {"a quote at the end of a piece", std::u16string(510, u'a') + u"\"b",
         "\"" + std::string(510, 'a') + "\\\"b\""},
        // Sixteen units are looked at together: any unit of a block may need more than its byte,
        // from 0x80 to 0xFF, up to 0x7FFF, or beyond.
        {"escapes inside blocks of sixteen",
         u"0123456789\"abcdef\\ghijklmn\x01opqrstu\x7Fvwx\u00E9yz0123456789\u4E2D"
         u"abcdefghijklmnop\U0001F600qrstuvwxyz0123456789",
         R"("0123456789\"abcdef\\ghijklmn\u0001opqrstu)"
         "\x7Fvwx\xC3\xA9yz0123456789\xE4\xB8\xAD"
         "abcdefghijklmnop\xF0\x9F\x98\x80qrstuvwxyz0123456789\""},
        {"pieces, then a code point beyond ASCII", std::u16string(1100, u'b') + u"\u00E9c",
         "\"" + std::string(1100, 'b') + "\xC3\xA9" + "c\""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.json, text::json_string(row.units));
    }
}

TEST(Json, MessagesPassValidUtf8AndReadOtherBytesAsLatin1)
{
    EXPECT_EQ("\"caf\xC3\xA9\"", text::json_string_of_bytes("caf\xC3\xA9"));
    EXPECT_EQ("\"caf\xC3\xA9\"", text::json_string_of_bytes("caf\xE9"));
    // An overlong form and an encoded surrogate are no UTF-8: each byte is a Latin-1 character.
    EXPECT_EQ("\"\xC3\x80\xC2\xAF\"", text::json_string_of_bytes("\xC0\xAF"));
    EXPECT_EQ("\"\xC3\xAD\xC2\xA0\xC2\x80\"", text::json_string_of_bytes("\xED\xA0\x80"));
    EXPECT_EQ(R"("a\"\n\u0001")", text::json_string_of_bytes("a\"\n\x01"));
}
