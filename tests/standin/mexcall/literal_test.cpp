// mexcall's literal parser: literals and the arrays they make; malformed ones and where they fail.
#include <gtest/gtest.h>

#include "literal.h"
#include "mexhost.h"
#include "render.h"

namespace {

// --- Literals and their arrays (as JSON, which spells out class, dims and column-major values) ---

struct Made {
    const char *literal;
    const char *json;
};

const Made kMade[] = {
    // char
    {"'hello'", R"({"class":"char","dims":[1,5],"value":"hello"})"},
    {"''", R"({"class":"char","dims":[0,0],"value":""})"},
    {"'it''s'", R"({"class":"char","dims":[1,4],"value":"it's"})"},
    {"''''", R"({"class":"char","dims":[1,1],"value":"'"})"},
    {"'h\xC3\xA9'", R"({"class":"char","dims":[1,2],"value":"h)"
                    "\xC3\xA9"
                    R"("})"},
    {"'\xF0\x9F\x98\x80'", R"({"class":"char","dims":[1,2],"value":")"
                           "\xF0\x9F\x98\x80"
                           R"("})"}, // a surrogate pair
    {"['ab';'cd']", R"({"class":"char","dims":[2,2],"value":"acbd"})"},
    {"['ab' 'c']", R"({"class":"char","dims":[1,3],"value":"abc"})"},
    {"['' 65]", R"({"class":"char","dims":[1,1],"value":"A"})"},
    {"  'x'  ", R"({"class":"char","dims":[1,1],"value":"x"})"},
    // double
    {"42", R"({"class":"double","dims":[1,1],"value":[42]})"},
    {"-1.5e3", R"({"class":"double","dims":[1,1],"value":[-1500]})"},
    {".25", R"({"class":"double","dims":[1,1],"value":[0.25]})"},
    {"[1 2;3 4]", R"({"class":"double","dims":[2,2],"value":[1,3,2,4]})"},
    {"[1 -2]", R"({"class":"double","dims":[1,2],"value":[1,-2]})"},
    {"[1, 2\n3, 4;]", R"({"class":"double","dims":[2,2],"value":[1,3,2,4]})"},
    {"[]", R"({"class":"double","dims":[0,0],"value":[]})"},
    {"[[1;2] [3;4] []]", R"({"class":"double","dims":[2,2],"value":[1,2,3,4]})"},
    {"[NaN Inf -Inf]", R"({"class":"double","dims":[1,3],"value":[null,null,null]})"},
    {"zeros(2,1)", R"({"class":"double","dims":[2,1],"value":[0,0]})"},
    {"double('A')", R"({"class":"double","dims":[1,1],"value":[65]})"},
    {"[true 2]", R"({"class":"double","dims":[1,2],"value":[1,2]})"},
    // integers: rounded half away from zero, saturated
    {"uint32([1 2 3])", R"({"class":"uint32","dims":[1,3],"value":[1,2,3]})"},
    {"uint32([-5 2.5 4294967296 NaN])", R"({"class":"uint32","dims":[1,4],"value":[0,3,4294967295,0]})"},
    {"int32([-2.5 3e9])", R"({"class":"int32","dims":[1,2],"value":[-3,2147483647]})"},
    {"[uint32(1) 2.7]", R"({"class":"uint32","dims":[1,2],"value":[1,3]})"},
    {"zeros(1,0,'uint32')", R"({"class":"uint32","dims":[1,0],"value":[]})"},
    {"zeros(0,3,'int32')", R"({"class":"int32","dims":[0,3],"value":[]})"},
    // logical and char conversions
    {"logical([1 0 2])", R"({"class":"logical","dims":[1,3],"value":[1,0,1]})"},
    {"[true false]", R"({"class":"logical","dims":[1,2],"value":[1,0]})"},
    {"char([72 105])", R"({"class":"char","dims":[1,2],"value":"Hi"})"},
    {"char(55296)", R"({"class":"char","dims":[1,1],"value":"\ud800"})"},
    // cells
    {"{}", R"({"class":"cell","dims":[0,0],"value":[]})"},
    {"{'a', 1; {}, 'b'}",
     R"({"class":"cell","dims":[2,2],"value":[{"class":"char","dims":[1,1],"value":"a"},)"
     R"({"class":"cell","dims":[0,0],"value":[]},{"class":"double","dims":[1,1],"value":[1]},)"
     R"({"class":"char","dims":[1,1],"value":"b"}]})"},
    {"{{1}}", R"({"class":"cell","dims":[1,1],"value":[{"class":"cell","dims":[1,1],"value":[)"
              R"({"class":"double","dims":[1,1],"value":[1]}]}]})"},
    {"[{1} {}]", R"({"class":"cell","dims":[1,1],"value":[{"class":"double","dims":[1,1],"value":[1]}]})"},
    {"cell(2,3)", R"({"class":"cell","dims":[2,3],"value":[null,null,null,null,null,null]})"},
    {"cell(2)", R"({"class":"cell","dims":[2,2],"value":[null,null,null,null]})"},
    {"cell(1,0)", R"({"class":"cell","dims":[1,0],"value":[]})"},
    {"cell([2 1 2])", R"({"class":"cell","dims":[2,1,2],"value":[null,null,null,null]})"},
    {"cell(2,1,1)", R"({"class":"cell","dims":[2,1],"value":[null,null]})"},
    // struct
    {"struct()", R"({"class":"struct","dims":[1,1],"value":{}})"},
    // [x] is x, rows that hold nothing included
    {"[;struct()]", R"({"class":"struct","dims":[1,1],"value":{}})"},
    {"[\n'a']", R"({"class":"char","dims":[1,1],"value":"a"})"},
    {"[;;{}]", R"({"class":"cell","dims":[0,0],"value":[]})"},
    {"[zeros(1,2,2)]", R"({"class":"double","dims":[1,2,2],"value":[0,0,0,0]})"},
    // zeros and cells of any size are made without their elements being stored first
    {"char(zeros(1,2))", R"({"class":"char","dims":[1,2],"value":"\u0000\u0000"})"},
    {"logical(zeros(1,2))", R"({"class":"logical","dims":[1,2],"value":[0,0]})"},
    {"[zeros(1,2,'int32') 5; 6 zeros(1,2)]", R"({"class":"int32","dims":[2,3],"value":[0,6,0,0,5,0]})"},
    {"[cell(1,2) {'a'}]",
     R"({"class":"cell","dims":[1,3],"value":[null,null,{"class":"char","dims":[1,1],"value":"a"}]})"},
    {"cell(zeros(1,2))", R"({"class":"cell","dims":[0,0],"value":[]})"},
    {"[zeros(2,1) zeros(2,2); zeros(1,3)]", R"({"class":"double","dims":[3,3],"value":[0,0,0,0,0,0,0,0,0]})"},
    {"[cell(1,2); {'a'} cell(1,1)]",
     R"({"class":"cell","dims":[2,2],"value":[null,{"class":"char","dims":[1,1],"value":"a"},null,null]})"},
    {"['ab' zeros(1,1); 'cde']", R"({"class":"char","dims":[2,3],"value":"acbd\u0000e"})"},
    // no element, however many columns: nothing to visit
    {"[cell(0,2147483647); cell(0,2147483647)]", R"({"class":"cell","dims":[0,2147483647],"value":[]})"},
};

} // namespace

TEST(Literal, MakesTheArrayItSpells)
{
    for (const Made &c : kMade) {
        SCOPED_TRACE(c.literal);
        mexcall::LiteralError error;
        mxArray *array = mexcall::parse_literal(c.literal, &error);
        ASSERT_NE(array, nullptr) << error.message << " at " << error.offset;
        EXPECT_EQ(mexcall::json_value(array), c.json);
        mexhost::destroy(array);
    }
}

// --- Malformed literals: the message and the column of the offending character ---

namespace {

struct Refused {
    const char *literal;
    const char *message;
    size_t column;
};

const Refused kRefused[] = {
    {"", "expected a value", 1},
    {"'abc", "text has no closing quote", 1},
    {"[1 2", "no closing ']' for this '['", 1},
    {"{1, [2 3}", "unexpected '}': expected ',', ';' or ']'", 9},
    {"[1 2;3]", "dimensions do not agree one above another (1x2 and 1x1)", 6},
    {"[[1;2] 3]", "dimensions do not agree side by side (2x1 and 1x1)", 8},
    {"{1, 2; 3}", "each row of {...} needs 2 elements; this one has 1", 8},
    {"foo(1)", "unknown name 'foo'", 1},
    {"1 2", "unexpected '2' after the value", 3},
    {"'\xC3\xA9' x", "unexpected 'x' after the value", 5}, // columns count characters, not bytes
    {"[1,,2]", "expected a value before ','", 4},
    {"[1-2]", "unexpected '-': expected ',', ';' or ']'", 3},
    {"[1 - 2]", "unexpected '-': expected a value", 4},
    {"12abc", "unexpected 'a' in a number", 3},
    {"1e", "expected the digits of an exponent", 3},
    {"\"text\"", "\"...\" makes a string object; write char text as '...'", 1},
    {"'\xFF'", "invalid UTF-8", 2},
    {"uint32(1, 2)", "uint32(X) takes one argument", 1},
    {"uint32(1", "no closing ')' for this '('", 7},
    {"zeros(1,0,'single')", "zeros: class 'single' is not one of double, int32, uint32", 11},
    {"cell(1.5)", "cell: sizes must be whole numbers", 6},
    {"cell(1, [2 3])", "cell: each size must be a scalar", 9},
    {"cell(100000,100000)", "cell: too many elements", 1},
    {"logical(NaN)", "NaN cannot be converted to logical", 9},
    {"char(-1)", "char needs whole numbers from 0 to 65535", 6},
    {"uint32({1})", "cannot convert cell to uint32", 8},
    {"[{1} 2]", "cannot concatenate a double array with a cell", 6},
    {"[int32(1) uint32(1)]", "cannot concatenate int32 with uint32", 11},
    {"[struct() 1]", "a struct cannot be concatenated", 11},
    {"struct('a', 1)", "struct() with fields is not supported", 8},
    {"logical(char(zeros(1)))", "cannot convert char to logical", 9},
    // sizes that a 32-bit dimension cannot hold, however they come about
    {"[cell(0,2147483647) cell(0,2147483647)]", "the result would have more than 2147483647 columns", 21},
    {"[cell(2147483647,0); cell(2147483647,0)]", "the result would have more than 2147483647 rows", 22},
    {"zeros(ones)", "unknown name 'ones'", 7},
    {"cell(zeros(1,65))", "cell: at most 64 dimensions", 6},
    // class names are compared unit by unit: no unit above 0xFF passes for another, none cuts the message
    {"zeros(1,1,'\xC5\xB5int32')", "zeros: class '\xC5\xB5int32' is not one of double, int32, uint32", 11},
    {"zeros(1,1,['uint32' 256])", "zeros: class 'uint32\xC4\x80' is not one of double, int32, uint32", 11},
    {"zeros(1,1,['ui' 0 'nt32'])", "zeros: class 'ui?nt32' is not one of double, int32, uint32", 11},
};

} // namespace

TEST(Literal, RefusesMalformedOnesAtTheOffendingCharacter)
{
    for (const Refused &c : kRefused) {
        SCOPED_TRACE(c.literal);
        mexcall::LiteralError error;
        mxArray *array = mexcall::parse_literal(c.literal, &error);
        EXPECT_EQ(array, nullptr);
        if (array) mexhost::destroy(array);
        EXPECT_EQ(error.message, c.message);
        std::string described = mexcall::describe(c.literal, error);
        EXPECT_EQ(described.substr(0, described.find('\n')),
                  std::string(c.message) + " at column " + std::to_string(c.column));
    }
}

// Nesting of [, { and ( goes 32 levels deep, never deeper, so that no input can exhaust the stack.
TEST(Literal, NestingIsLimited)
{
    struct Case {
        const char *open, *close;
    };
    for (const Case &c : {Case{"[", "]"}, Case{"{", "}"}, Case{"double(", ")"}}) {
        SCOPED_TRACE(c.open);
        std::string inner = "1", deep = "1";
        for (int i = 0; i < 32; ++i) inner = c.open + inner + c.close;
        mexcall::LiteralError error;
        mxArray *array = mexcall::parse_literal(inner, &error);
        EXPECT_NE(array, nullptr) << error.message;
        if (array) mexhost::destroy(array);
        EXPECT_EQ(mexcall::parse_literal(c.open + inner + c.close, &error), nullptr);
        EXPECT_EQ(error.message, "nesting of [, { and ( is limited to 32 levels");
        EXPECT_EQ(error.offset, 33 * std::string(c.open).size()); // the value inside the 33rd
    }
    std::string unclosed(14000, '[');
    mexcall::LiteralError error;
    EXPECT_EQ(mexcall::parse_literal(unclosed, &error), nullptr);
    EXPECT_EQ(error.message, "nesting of [, { and ( is limited to 32 levels");
}

// The element cap bounds the elements of every value made while a literal is read (a cell's
// slots and what they hold alike, and the sizes given to zeros and cell until they are read), so
// a literal over it is refused before it is built, whether by concatenation, in cells or at once.
TEST(Literal, ElementCapCountsTheWholeLiteral)
{
    struct Case {
        const char *literal;
        size_t cap;
        const char *refused; // "" when made
    };
    const char *over[] = {"",
                          "the literal would have more than 1 elements",
                          "the literal would have more than 2 elements",
                          "the literal would have more than 3 elements",
                          "the literal would have more than 4 elements",
                          "the literal would have more than 5 elements"};
    const Case cases[] = {
        {"[1 2 3]", 3, ""},
        {"[1 2 3]", 2, over[2]},
        {"['ab'; 'cd']", 4, ""},
        {"['ab'; 'cd']", 3, over[3]},
        {"{1, 2}", 4, ""},
        {"{1, 2}", 3, over[3]},
        {"{{1}}", 3, ""},
        {"{{1}}", 2, over[2]},
        {"[{1} {2}]", 4, ""},
        {"[{1} {2}]", 3, over[3]},
        {"zeros(2)", 4, ""},
        {"zeros(2)", 3, "zeros: too many elements"},
        {"zeros(2, 'int32')", 6, ""},
        {"zeros(2, 'int32')", 5, over[5]},
        {"{zeros(1,2)}", 3, ""},
        {"{zeros(1,2)}", 2, over[2]},
        {"[cell(1,2) {'a'}]", 4, ""},
        {"[cell(1,2) {'a'}]", 3, over[3]},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.literal) + " with a cap of " + std::to_string(c.cap));
        mexcall::LiteralError error;
        mxArray *array = mexcall::parse_literal(c.literal, &error, c.cap);
        EXPECT_EQ(array == nullptr, *c.refused != 0) << error.message;
        if (array)
            mexhost::destroy(array);
        else
            EXPECT_EQ(error.message, c.refused);
    }
}

TEST(Literal, DescriptionPointsACaretAtTheCharacter)
{
    mexcall::LiteralError error;
    ASSERT_EQ(mexcall::parse_literal("[1 2;3]", &error), nullptr);
    EXPECT_EQ(mexcall::describe("[1 2;3]", error),
              "dimensions do not agree one above another (1x2 and 1x1) at column 6\n"
              "  [1 2;3]\n"
              "       ^");
    ASSERT_EQ(mexcall::parse_literal("\t{'\xC3\xA9' ,}x", &error), nullptr);
    EXPECT_EQ(mexcall::describe("\t{'\xC3\xA9' ,}x", error), "unexpected 'x' after the value at column 9\n"
                                                             "  \t{'\xC3\xA9' ,}x\n"
                                                             "  \t       ^");
}

// A literal of several lines names the line; a long line is shown around the caret only.
TEST(Literal, DescriptionOfALongOrManyLinedLiteralShowsItsLine)
{
    std::string lines = "{'a'\r\n'b'\r\n'c' 'd'x}\n";
    mexcall::LiteralError error;
    ASSERT_EQ(mexcall::parse_literal(lines, &error), nullptr);
    EXPECT_EQ(mexcall::describe(lines, error),
              "unexpected 'x': expected ',', ';' or '}' at line 3, column 8\n"
              "  'c' 'd'x}\n"
              "         ^");

    std::string row = "[" + std::string(100, '1') + " 2," + std::string(100, '3') + ",,]";
    ASSERT_EQ(mexcall::parse_literal(row, &error), nullptr);
    EXPECT_EQ(mexcall::describe(row, error), "expected a value before ',' at column 206\n"
                                             "  ..." +
                                                 std::string(39, '3') +
                                                 ",,]\n"
                                                 "     " +
                                                 std::string(40, ' ') + "^");
}
