// mexcall's renderers: the command-window form and the JSON escapes.
#include <gtest/gtest.h>

#include "literal.h"
#include "mexhost.h"
#include "render.h"

static mxArray *parse(const char *literal)
{
    mexcall::LiteralError error;
    mxArray *array = mexcall::parse_literal(literal, &error);
    EXPECT_NE(array, nullptr) << literal << ": " << error.message;
    return array;
}

TEST(Render, ShowsValuesAsTheCommandWindowDoes)
{
    struct Case {
        const char *literal;
        const char *shown; // after "ans =\n\n", before the closing blank line
    };
    const Case cases[] = {
        {"'hello'", "    'hello'\n"},
        {"['ab';'cd']", "  2\xC3\x97"
                        "2 char array\n\n    'ab'\n    'cd'\n"},
        {"''", "  0\xC3\x97"
               "0 empty char array\n"},
        {"[]", "     []\n"},
        {"7", "     7\n"},
        {"[1 2 3;40 500 6]", "     1     2     3\n    40   500     6\n"},
        {"[1.5 -2]", "    1.5000   -2.0000\n"},
        {"[-1 2]", "    -1     2\n"},
        {"[NaN 1]", "   NaN     1\n"},
        {"uint32(5)", "  uint32\n\n   5\n"},
        {"uint32([1 20])", "  1\xC3\x97"
                           "2 uint32 array\n\n    1   20\n"},
        {"[true false]", "  1\xC3\x97"
                         "2 logical array\n\n   1   0\n"},
        {"zeros(1,0,'uint32')", "  1\xC3\x97"
                                "0 empty uint32 array\n"},
        {"{}", "  0\xC3\x97"
               "0 empty cell array\n"},
        {"{'abc', 1; cell(1,2), []}", "  2\xC3\x97"
                                      "2 cell array\n\n"
                                      "    {'abc'   }    {[1]       }\n"
                                      "    {1\xC3\x97"
                                      "2 cell}    {0\xC3\x97"
                                      "0 double}\n"},
        {"{'', zeros(1,0,'uint32')}", "  1\xC3\x97"
                                      "2 cell array\n\n    {0\xC3\x97"
                                      "0 char}    {1\xC3\x97"
                                      "0 uint32}\n"},
        {"cell(1,2)", "  1\xC3\x97"
                      "2 cell array\n\n    {0\xC3\x97"
                      "0 double}    {0\xC3\x97"
                      "0 double}\n"},
        {"cell(2,2,2)", "  2\xC3\x97"
                        "2\xC3\x97"
                        "2 cell array\n"},
        {"struct()", "  struct with no fields.\n"},
        {"char(55296)", "    '\xEF\xBF\xBD'\n"}, // an unpaired surrogate shows as U+FFFD
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.literal);
        mxArray *array = parse(c.literal);
        if (!array) continue;
        EXPECT_EQ(mexcall::display("ans", array), std::string("ans =\n\n") + c.shown + "\n");
        mexhost::destroy(array);
    }
}

TEST(Render, JsonEscapesEveryUnit)
{
    mxArray *text = parse("[char([34 92 10 1]) 'x' char(55296) char([55357 56832])]");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(mexcall::json_value(text), R"({"class":"char","dims":[1,8],"value":"\"\\\n\u0001x\ud800)"
                                         "\xF0\x9F\x98\x80"
                                         R"("})");
    mexhost::destroy(text);

    // A class and size longer than the piece the renderer gathers them in.
    std::string big = "2147483647";
    std::string sizes = "0";
    for (int i = 0; i < 11; ++i) sizes += "," + big;
    mxArray *wide = parse(("cell(" + sizes + ")").c_str());
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(mexcall::json_value(wide), R"({"class":"cell","dims":[)" + sizes + R"(],"value":[]})");
    mexhost::destroy(wide);

    mxArray *numbers = parse("[0.1 -0 1e300 123456789012 0.30000000000000004]");
    ASSERT_NE(numbers, nullptr);
    EXPECT_EQ(mexcall::json_value(numbers),
              R"({"class":"double","dims":[1,5],"value":[0.1,-0,1e+300,123456789012,0.30000000000000004]})");
    mexhost::destroy(numbers);
}

TEST(Render, Errors)
{
    EXPECT_EQ(mexcall::json_error("a:b", "say \"no\"\n"),
              R"({"error":{"identifier":"a:b","message":"say \"no\"\n"}})");
    // A byte that is no UTF-8 is read as Latin-1.
    EXPECT_EQ(mexcall::json_error("", "caf\xE9"),
              "{\"error\":{\"identifier\":\"\",\"message\":\"caf\xC3\xA9\"}}");
    EXPECT_EQ(mexcall::display_error("Orlenda", "Varnelle: FileName is too long."),
              "Error using Orlenda\nVarnelle: FileName is too long.\n");
}
