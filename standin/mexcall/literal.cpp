// The literal parser of mexcall: text -> a tree of values -> a host array. Errors carry the
// byte offset of the character at fault.
#include "literal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "mexhost.h"
#include "utf8.h"

namespace mexcall {

namespace {

enum class Kind { Double, Logical, Char, Int32, UInt32, Cell, Struct };

// The sizes of a value. Nearly every value has two, kept in place: a literal of many values pays
// no allocation for each one's shape. zeros(...) and cell(...) may give more.
class Dims {
public:
    Dims() = default;
    Dims(std::initializer_list<int> sizes)
    {
        for (int d : sizes) push_back(d);
    }

    size_t size() const { return size_; }
    int &operator[](size_t i) { return data()[i]; }
    int operator[](size_t i) const { return data()[i]; }
    int back() const { return data()[size_ - 1]; }
    const int *begin() const { return data(); }
    const int *end() const { return data() + size_; }
    std::vector<int> vector() const { return std::vector<int>(begin(), end()); }

    void push_back(int d)
    {
        if (size_ < 2)
            pair_[size_] = d;
        else if (size_ == 2)
            more_ = {pair_[0], pair_[1], d};
        else
            more_.push_back(d);
        ++size_;
    }
    void pop_back()
    {
        if (--size_ <= 2 && !more_.empty()) {
            std::copy(more_.begin(), more_.begin() + size_, pair_);
            more_.clear();
        } else if (size_ > 2) {
            more_.pop_back();
        }
    }

private:
    int *data() { return size_ > 2 ? more_.data() : pair_; }
    const int *data() const { return size_ > 2 ? more_.data() : pair_; }

    size_t size_ = 0;
    int pair_[2] = {0, 0};
    std::vector<int> more_; // all of them, when there are more than two
};

struct Value {
    Kind kind = Kind::Double;
    Dims dims{0, 0};
    std::vector<double> numbers;               // numeric and logical
    std::u16string units;                      // char
    std::vector<std::unique_ptr<Value>> cells; // null: an unset element
    // zeros(...) and cell(...): every element 0 (or unset) and none stored, so that a literal
    // refused for its size has not been built first.
    bool zero_filled = false;
    // Char text read from the literal in one piece: its units are already in the host array it
    // becomes (a 1 x N row), in place of `units`.
    mxArray *array = nullptr;

    Value() = default;
    Value(const Value &) = delete;
    Value &operator=(const Value &) = delete;
    ~Value()
    {
        if (array) mexhost::destroy(array);
    }

    // The units of a char value, wherever they are.
    std::u16string_view text() const
    {
        if (!array) return units;
        return std::u16string_view(static_cast<const char16_t *>(mxGetData(array)),
                                   static_cast<size_t>(dims[1]));
    }
    size_t count() const
    {
        if (!zero_filled)
            return kind == Kind::Cell ? cells.size() : kind == Kind::Char ? text().size() : numbers.size();
        size_t count = 1;
        for (int d : dims) count *= static_cast<size_t>(d);
        return count;
    }
    bool is_0x0() const { return dims.size() == 2 && dims[0] == 0 && dims[1] == 0; }
};

using ValuePtr = std::unique_ptr<Value>;

struct Failure {
    size_t offset;
    std::string message;
};

} // namespace

static const char *kind_name(Kind kind)
{
    static const char *const kNames[] = {"double", "logical", "char", "int32", "uint32", "cell", "struct"};
    return kNames[static_cast<int>(kind)];
}

// MATLAB's prompt refuses deeper nesting of [, { and ( too; the limit also bounds the parser's
// recursion on any input.
const int kMaxDepth = 32;
const size_t kMaxDimensions = 64;
const double kMaxSize = 2147483647.0; // a dimension is a 32-bit int

[[noreturn]] static void fail(size_t offset, std::string message)
{
    throw Failure{offset, std::move(message)};
}

static std::string shape(const Value &value)
{
    std::string text;
    for (size_t i = 0; i < value.dims.size(); ++i) text += (i ? "x" : "") + std::to_string(value.dims[i]);
    return text;
}

// The host's rule: trailing singleton dimensions beyond the second go.
static Dims normalized(Dims dims)
{
    while (dims.size() < 2) dims.push_back(1);
    while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
    return dims;
}

static ValuePtr make_value(Kind kind, Dims dims)
{
    ValuePtr value(new Value);
    value->kind = kind;
    value->dims = normalized(std::move(dims));
    return value;
}

// Converts numbers of one kind to another, as the host's conversion functions do.
static void convert(Value &value, Kind to, size_t offset)
{
    if (value.kind == to) return;
    if (value.kind == Kind::Cell || value.kind == Kind::Struct || to == Kind::Cell || to == Kind::Struct)
        fail(offset, std::string("cannot convert ") + kind_name(value.kind) + " to " + kind_name(to));
    if (to == Kind::Logical && value.kind == Kind::Char) fail(offset, "cannot convert char to logical");
    if (value.zero_filled) {
        value.kind = to; // 0 is 0 in every numeric class, false, and the char unit 0
        return;
    }
    if (value.kind == Kind::Char) {
        std::u16string_view units = value.text();
        value.numbers.assign(units.begin(), units.end());
        value.units.clear();
        if (value.array) mexhost::destroy(value.array);
        value.array = nullptr;
    }
    for (double &x : value.numbers) {
        switch (to) {
        case Kind::Logical:
            if (std::isnan(x)) fail(offset, "NaN cannot be converted to logical");
            x = x != 0;
            break;
        case Kind::Char:
            if (x != std::floor(x) || x < 0 || x > 65535)
                fail(offset, "char needs whole numbers from 0 to 65535");
            break;
        case Kind::Int32:
        case Kind::UInt32: {
            // Rounded half away from zero, saturated, NaN as 0.
            double low = to == Kind::Int32 ? -2147483648.0 : 0.0;
            double high = to == Kind::Int32 ? 2147483647.0 : 4294967295.0;
            x = std::isnan(x) ? 0 : std::fmin(std::fmax(std::round(x), low), high);
            break;
        }
        default:
            break;
        }
    }
    if (to == Kind::Char) {
        value.units.assign(value.numbers.begin(), value.numbers.end());
        value.numbers.clear();
    }
    value.kind = to;
}

// Appends `count` elements of `from`, from `index` on, to `to`.
static void append_elements(Value &to, Value &from, size_t index, size_t count)
{
    if (from.kind == Kind::Cell) {
        if (from.zero_filled)
            to.cells.resize(to.cells.size() + count);
        else
            std::move(from.cells.begin() + index, from.cells.begin() + index + count,
                      std::back_inserter(to.cells));
    } else if (from.kind == Kind::Char) {
        if (from.zero_filled)
            to.units.append(count, u'\0');
        else
            to.units.append(from.text().substr(index, count));
    } else if (from.zero_filled) {
        to.numbers.insert(to.numbers.end(), count, 0.0);
    } else {
        to.numbers.insert(to.numbers.end(), from.numbers.begin() + index,
                          from.numbers.begin() + index + count);
    }
}

namespace {

struct Item {
    size_t offset;
    ValuePtr value;
};

// One row of [...] or {...}: its items, side by side in the list's one vector of items.
class Row {
public:
    Row(Item *first, size_t size) : first_(first), size_(size) {}
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Item &operator[](size_t i) const { return first_[i]; }
    Item *begin() const { return first_; }
    Item *end() const { return first_ + size_; }

private:
    Item *first_;
    size_t size_;
};
// The rows that hold any item, top to bottom. A list of many rows (a name a line) costs no
// allocation for each row.
using Rows = std::vector<Row>;

} // namespace

// The class of [a, b; c]: cells with cells only; char wins over numbers; an integer class over
// double and logical; logical only when all are logical.
static Kind concatenated_kind(const Rows &rows)
{
    bool any = false, all_logical = true, has_char = false, has_cell = false, has_struct = false;
    const Item *integer = nullptr, *non_cell = nullptr;
    for (const auto &row : rows) {
        for (const Item &item : row) {
            Kind kind = item.value->kind;
            if (any && (has_struct || kind == Kind::Struct))
                fail(item.offset, "a struct cannot be concatenated");
            if (kind == Kind::Cell) {
                if (non_cell)
                    fail(item.offset, std::string("cannot concatenate a cell with a ") +
                                          kind_name(non_cell->value->kind) + " array");
                has_cell = true;
            } else if (!(kind == Kind::Double && item.value->is_0x0())) { // [] goes with anything
                if (has_cell)
                    fail(item.offset,
                         std::string("cannot concatenate a ") + kind_name(kind) + " array with a cell");
                if (!non_cell) non_cell = &item;
            }
            if (kind == Kind::Int32 || kind == Kind::UInt32) {
                if (integer && integer->value->kind != kind)
                    fail(item.offset, "cannot concatenate int32 with uint32");
                integer = &item;
            }
            any = true;
            all_logical = all_logical && kind == Kind::Logical;
            has_char = has_char || kind == Kind::Char;
            has_struct = has_struct || kind == Kind::Struct;
        }
    }
    if (!any) return Kind::Double;
    if (has_struct) return Kind::Struct;
    if (has_cell) return Kind::Cell;
    if (has_char) return Kind::Char;
    if (integer) return integer->value->kind;
    return all_logical ? Kind::Logical : Kind::Double;
}

// True when every part that is not 0x0 is all zeros (or unset cells): the result is then all zeros
// too, and is not built element by element.
static bool all_zero_filled(const Rows &rows)
{
    for (const auto &row : rows)
        for (const Item &item : row)
            if (!item.value->is_0x0() && !item.value->zero_filled) return false;
    return true;
}

// [a, b; c]: each row side by side, then the rows one above another; 0x0 parts are skipped.
// [x] is x, whatever its class or shape.
static ValuePtr concatenate(Rows &rows)
{
    if (rows.size() == 1 && rows[0].size() == 1) return std::move(rows[0][0].value);
    Kind kind = concatenated_kind(rows);
    bool zeros = all_zero_filled(rows);
    std::vector<Item> blocks; // one per row
    for (auto &row : rows) {
        ValuePtr block = make_value(kind, {0, 0});
        block->zero_filled = zeros;
        size_t first = row.empty() ? 0 : row[0].offset;
        for (Item &item : row) {
            Value &part = *item.value;
            if (part.is_0x0()) continue;
            convert(part, kind, item.offset);
            if (part.dims.size() > 2)
                fail(item.offset, "an N-D array (" + shape(part) + ") cannot be concatenated");
            if (!block->is_0x0() && block->dims[0] != part.dims[0])
                fail(item.offset,
                     "dimensions do not agree side by side (" + shape(*block) + " and " + shape(part) + ")");
            int64_t columns = block->is_0x0() ? 0 : block->dims[1];
            if (columns + part.dims[1] > kMaxSize)
                fail(item.offset, "the result would have more than 2147483647 columns");
            block->dims = {part.dims[0], static_cast<int>(columns + part.dims[1])};
            if (!zeros) append_elements(*block, part, 0, part.count()); // columns follow columns
        }
        if (!block->is_0x0()) blocks.push_back(Item{first, std::move(block)});
    }
    if (blocks.size() == 1) return std::move(blocks[0].value);
    ValuePtr result = make_value(kind, {0, 0});
    if (blocks.empty()) return result;
    int64_t total_rows = 0;
    for (const Item &block : blocks) {
        if (block.value->dims[1] != blocks[0].value->dims[1])
            fail(block.offset, "dimensions do not agree one above another (" + shape(*blocks[0].value) +
                                   " and " + shape(*block.value) + ")");
        total_rows += block.value->dims[0];
        if (total_rows > kMaxSize) fail(block.offset, "the result would have more than 2147483647 rows");
    }
    int columns = blocks[0].value->dims[1];
    result->dims = {static_cast<int>(total_rows), columns};
    result->zero_filled = zeros;
    // Column j of the result is column j of each block in turn; "[cell(0,2^31-1); cell(0,2^31-1)]"
    // has no column to visit.
    if (zeros || total_rows == 0) return result;
    for (int j = 0; j < columns; ++j)
        for (Item &block : blocks) {
            size_t height = static_cast<size_t>(block.value->dims[0]);
            append_elements(*result, *block.value, static_cast<size_t>(j) * height, height);
        }
    return result;
}

// {a, b; c, d}: each value one element.
static ValuePtr cell_of(Rows &rows, size_t open)
{
    if (rows.empty()) return make_value(Kind::Cell, {0, 0});
    size_t columns = rows[0].size();
    for (const Row &row : rows)
        if (row.size() != columns)
            fail(row.empty() ? open : row[0].offset, "each row of {...} needs " + std::to_string(columns) +
                                                         " elements; this one has " +
                                                         std::to_string(row.size()));
    ValuePtr cell = make_value(Kind::Cell, {static_cast<int>(rows.size()), static_cast<int>(columns)});
    for (size_t j = 0; j < columns; ++j)
        for (auto &row : rows) cell->cells.push_back(std::move(row[j].value));
    return cell;
}

namespace {

class Parser {
public:
    Parser(std::string_view text, size_t max_elements) : text_(text), max_elements_(max_elements) {}

    ValuePtr parse()
    {
        skip_blanks(true);
        if (at_end()) fail(pos_, "expected a value");
        ValuePtr value = parse_value();
        skip_blanks(true);
        if (!at_end()) fail(pos_, "unexpected " + quoted(pos_) + " after the value");
        return value;
    }

private:
    bool at_end() const { return pos_ >= text_.size(); }
    char peek(size_t ahead = 0) const { return peek_at(pos_ + ahead); }
    char peek_at(size_t offset) const { return offset < text_.size() ? text_[offset] : '\0'; }
    static bool is_digit(char c) { return c >= '0' && c <= '9'; }
    static bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

    // The character at an offset, quoted for a message.
    std::string quoted(size_t offset) const
    {
        char32_t cp;
        size_t length = text::decode_utf8(text_, offset, &cp);
        return "'" + std::string(text_.substr(offset, length ? length : 1)) + "'";
    }

    // Spaces and tabs; newlines too where they separate nothing. True when any were skipped.
    bool skip_blanks(bool newlines)
    {
        size_t start = pos_;
        while (peek() == ' ' || peek() == '\t' || (newlines && (peek() == '\n' || peek() == '\r'))) ++pos_;
        return pos_ != start;
    }

    // Counts the elements a value adds to the literal, before it is built.
    void charge(size_t elements, size_t offset)
    {
        if (elements > max_elements_ - elements_)
            fail(offset, "the literal would have more than " + std::to_string(max_elements_) + " elements");
        elements_ += elements;
    }

    // The values zeros(...) and cell(...) read as sizes are gone once they have been read.
    void refund(const std::vector<Item> &args)
    {
        for (const Item &arg : args) elements_ -= std::min(elements_, arg.value->count());
    }

    ValuePtr parse_value()
    {
        if (depth_ > kMaxDepth)
            fail(pos_, "nesting of [, { and ( is limited to " + std::to_string(kMaxDepth) + " levels");
        ++depth_;
        ValuePtr value = parse_unnested();
        --depth_;
        return value;
    }

    ValuePtr parse_unnested()
    {
        char c = peek();
        if (c == '\'') return parse_text();
        if (c == '"') fail(pos_, "\"...\" makes a string object; write char text as '...'");
        if (c == '[') return concatenate_rows();
        if (c == '{') return cell_rows();
        bool sign = (c == '-' || c == '+') && (is_digit(peek(1)) || peek(1) == '.' || is_letter(peek(1)));
        if (is_digit(c) || c == '.' || sign) return parse_number();
        if (is_letter(c)) return parse_name();
        if (at_end()) fail(pos_, "expected a value");
        fail(pos_, "unexpected " + quoted(pos_) + ": expected a value");
    }

    // 'text' with '' for a quote; '' is 0x0.
    ValuePtr parse_text()
    {
        if (ValuePtr value = parse_plain_text()) return value;
        size_t open = pos_++;
        std::u16string units;
        for (;;) {
            if (at_end()) fail(open, "text has no closing quote");
            unsigned char c = static_cast<unsigned char>(text_[pos_]);
            if (c == '\'') {
                if (peek(1) != '\'') break;
                units += u'\'';
                pos_ += 2;
                continue;
            }
            if (c < 0x80) { // most names are ASCII: no decoding
                units += static_cast<char16_t>(c);
                ++pos_;
                continue;
            }
            char32_t cp;
            size_t length = text::decode_utf8(text_, pos_, &cp);
            if (length == 0) fail(pos_, "invalid UTF-8");
            text::append_utf16(units, cp);
            pos_ += length;
        }
        ++pos_;
        charge(units.size(), open);
        ValuePtr value =
            make_value(Kind::Char, units.empty() ? Dims{0, 0} : Dims{1, static_cast<int>(units.size())});
        value->units = std::move(units);
        return value;
    }

    // 'text' of ASCII only, without '': nearly every name. Its bytes are its units, so they go
    // straight into the host array; null (nothing read) for any other text.
    ValuePtr parse_plain_text()
    {
        size_t open = pos_, first = open + 1;
        const void *quote = std::memchr(text_.data() + first, '\'', text_.size() - first);
        if (!quote) return nullptr;
        size_t close = static_cast<size_t>(static_cast<const char *>(quote) - text_.data());
        if (close == first || peek_at(close + 1) == '\'') return nullptr;
        const char *bytes = text_.data() + first;
        size_t length = close - first;
        if (!is_ascii(bytes, length)) return nullptr;
        charge(length, open);
        ValuePtr value = make_value(Kind::Char, {1, static_cast<int>(length)});
        value->array = mxCreateCharArray_700(2, value->dims.begin());
        mxChar *units = static_cast<mxChar *>(mxGetData(value->array));
        for (size_t i = 0; i < length; ++i) units[i] = static_cast<unsigned char>(bytes[i]);
        pos_ = close + 1;
        return value;
    }

    static bool is_ascii(const char *bytes, size_t length)
    {
        uint64_t any = 0; // the bits of every byte, eight at a time
        size_t i = 0;
        for (; i + 8 <= length; i += 8) {
            uint64_t word;
            std::memcpy(&word, bytes + i, 8);
            any |= word;
        }
        for (; i < length; ++i) any |= static_cast<unsigned char>(bytes[i]);
        return (any & 0x8080808080808080ull) == 0;
    }

    ValuePtr parse_number()
    {
        size_t start = pos_;
        if (peek() == '-' || peek() == '+') ++pos_;
        if (is_letter(peek())) {
            size_t word = pos_;
            while (is_letter(peek())) ++pos_;
            std::string_view name = text_.substr(word, pos_ - word);
            if (name != "Inf" && name != "inf" && name != "NaN" && name != "nan")
                fail(start, "unexpected " + quoted(start) + ": expected a value");
        } else {
            size_t digits = 0;
            for (; is_digit(peek()); ++pos_) ++digits;
            if (peek() == '.') ++pos_;
            for (; is_digit(peek()); ++pos_) ++digits;
            if (digits == 0) fail(start, "a number needs digits");
            if (peek() == 'e' || peek() == 'E') {
                ++pos_;
                if (peek() == '-' || peek() == '+') ++pos_;
                if (!is_digit(peek())) fail(pos_, "expected the digits of an exponent");
                while (is_digit(peek())) ++pos_;
            }
        }
        if (is_letter(peek()) || is_digit(peek()) || peek() == '.')
            fail(pos_, "unexpected " + quoted(pos_) + " in a number");
        charge(1, start);
        ValuePtr value = make_value(Kind::Double, {1, 1});
        value->numbers.push_back(
            std::strtod(std::string(text_.substr(start, pos_ - start)).c_str(), nullptr));
        return value;
    }

    // Rows of values up to `close`: ',' or blanks between values, ';' or a newline between rows.
    // The values go into `items`, which the rows point into.
    Rows parse_rows(char close, size_t open, std::vector<Item> &items)
    {
        std::vector<size_t> starts{0}; // the first item of each row
        bool after_value = false;
        for (;;) {
            bool spaced = skip_blanks(false);
            char c = peek();
            if (at_end())
                fail(open, std::string("no closing '") + close + "' for this '" + text_[open] + "'");
            if (c == close) {
                ++pos_;
                break;
            }
            if (c == ';' || c == '\n' || c == '\r') {
                ++pos_;
                starts.push_back(items.size());
                after_value = false;
                continue;
            }
            if (c == ',') {
                if (!after_value) fail(pos_, "expected a value before ','");
                ++pos_;
                after_value = false;
                continue;
            }
            if (after_value && !spaced)
                fail(pos_, "unexpected " + quoted(pos_) + ": expected ',', ';' or '" + close + "'");
            size_t offset = pos_;
            items.push_back(Item{offset, parse_value()});
            after_value = true;
        }
        Rows rows;
        for (size_t k = 0; k < starts.size(); ++k) {
            size_t end = k + 1 < starts.size() ? starts[k + 1] : items.size();
            if (end > starts[k]) rows.emplace_back(items.data() + starts[k], end - starts[k]);
        }
        return rows;
    }

    ValuePtr concatenate_rows()
    {
        size_t open = pos_++;
        std::vector<Item> items;
        Rows rows = parse_rows(']', open, items);
        return concatenate(rows);
    }

    ValuePtr cell_rows()
    {
        size_t open = pos_++;
        std::vector<Item> items;
        Rows rows = parse_rows('}', open, items);
        ValuePtr cell = cell_of(rows, open);
        charge(cell->count(), open);
        return cell;
    }

    // name or name(arg, ...)
    ValuePtr parse_name()
    {
        size_t start = pos_;
        while (is_letter(peek()) || is_digit(peek()) || peek() == '_') ++pos_;
        std::string name(text_.substr(start, pos_ - start));
        if (name == "Inf" || name == "inf" || name == "NaN" || name == "nan") {
            pos_ = start;
            return parse_number();
        }
        std::vector<Item> args;
        if (peek() == '(') parse_arguments(&args);
        if (name == "true" || name == "false") {
            if (!args.empty()) fail(start, name + " takes no arguments here");
            charge(1, start);
            ValuePtr value = make_value(Kind::Logical, {1, 1});
            value->numbers.push_back(name == "true");
            return value;
        }
        if (name == "cell") return make_filled(Kind::Cell, name, start, args);
        if (name == "zeros") return make_filled(Kind::Double, name, start, args);
        if (name == "struct") {
            if (!args.empty()) fail(args[0].offset, "struct() with fields is not supported");
            charge(1, start);
            return make_value(Kind::Struct, {1, 1});
        }
        static const struct {
            const char *name;
            Kind kind;
        } kConversions[] = {{"double", Kind::Double},
                            {"logical", Kind::Logical},
                            {"char", Kind::Char},
                            {"int32", Kind::Int32},
                            {"uint32", Kind::UInt32}};
        for (const auto &conversion : kConversions) {
            if (name != conversion.name) continue;
            if (args.size() != 1) fail(start, name + "(X) takes one argument");
            convert(*args[0].value, conversion.kind, args[0].offset);
            return std::move(args[0].value);
        }
        fail(start, "unknown name '" + name + "'");
    }

    void parse_arguments(std::vector<Item> *args)
    {
        size_t open = pos_++;
        skip_blanks(true);
        if (peek() == ')') {
            ++pos_;
            return;
        }
        for (;;) {
            skip_blanks(true);
            if (at_end()) fail(open, "no closing ')' for this '('");
            size_t offset = pos_;
            args->push_back(Item{offset, parse_value()});
            skip_blanks(true);
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            if (peek() == ')') {
                ++pos_;
                return;
            }
            if (at_end()) fail(open, "no closing ')' for this '('");
            fail(pos_, "unexpected " + quoted(pos_) + ": expected ',' or ')'");
        }
    }

    // cell(...) and zeros(..., 'CLASS'): sizes as n (n x n), m,n,..., or one row [m n ...].
    ValuePtr make_filled(Kind kind, const std::string &name, size_t start, std::vector<Item> &args)
    {
        refund(args);
        if (name == "zeros" && !args.empty() && args.back().value->kind == Kind::Char) {
            const Value &cls = *args.back().value;
            // Char values hold whole units; a class name is compared unit by unit and shown with
            // control units as '?', so that no unit can cut or garble the message.
            std::u16string units =
                cls.zero_filled ? std::u16string(cls.count(), u'\0') : std::u16string(cls.text());
            std::u16string shown = units;
            for (char16_t &unit : shown)
                if (unit < 0x20 || unit == 0x7F) unit = u'?';
            std::string text = text::utf8_from_utf16(shown);
            static const struct {
                const char *name;
                Kind kind;
            } kClasses[] = {{"double", Kind::Double}, {"int32", Kind::Int32}, {"uint32", Kind::UInt32}};
            bool known = false;
            for (const auto &entry : kClasses)
                if (units == std::u16string(entry.name, entry.name + std::strlen(entry.name)))
                    kind = entry.kind, known = true;
            if (!known)
                fail(args.back().offset, "zeros: class '" + text + "' is not one of double, int32, uint32");
            args.pop_back();
        }
        Dims dims;
        for (const Item &arg : args) {
            const Value &size = *arg.value;
            if (size.kind == Kind::Cell || size.kind == Kind::Struct || size.kind == Kind::Char)
                fail(arg.offset, name + ": sizes must be numbers");
            if (args.size() > 1 && size.count() != 1) fail(arg.offset, name + ": each size must be a scalar");
            if (size.count() > kMaxDimensions)
                fail(arg.offset, name + ": at most " + std::to_string(kMaxDimensions) + " dimensions");
            std::vector<double> sizes = size.zero_filled ? std::vector<double>(size.count()) : size.numbers;
            for (double n : sizes) {
                if (std::isnan(n) || n != std::floor(n))
                    fail(arg.offset, name + ": sizes must be whole numbers");
                dims.push_back(static_cast<int>(std::fmin(std::fmax(n, 0), kMaxSize)));
            }
        }
        if (args.empty())
            dims = name == "cell" ? Dims{0, 0} : Dims{1, 1};
        else if (dims.size() == 1)
            dims.push_back(dims[0]);
        double count = 1;
        for (int d : dims) count *= d;
        if (count > static_cast<double>(max_elements_)) fail(start, name + ": too many elements");
        charge(static_cast<size_t>(count), start);
        ValuePtr value = make_value(kind, dims);
        value->zero_filled = true;
        return value;
    }

    std::string_view text_;
    size_t max_elements_;
    size_t pos_ = 0;
    int depth_ = 0;
    size_t elements_ = 0; // in every value made so far
};

} // namespace

static mxClassID class_of(Kind kind)
{
    static const mxClassID kIds[] = {mxDOUBLE_CLASS, mxLOGICAL_CLASS, mxCHAR_CLASS,  mxINT32_CLASS,
                                     mxUINT32_CLASS, mxCELL_CLASS,    mxSTRUCT_CLASS};
    return kIds[static_cast<int>(kind)];
}

template <typename T> static std::vector<T> cast_all(const std::vector<double> &numbers)
{
    return std::vector<T>(numbers.begin(), numbers.end());
}

// The host array of a value; one the value holds already is handed over.
static mxArray *to_array(Value &value)
{
    if (value.kind == Kind::Char && value.array) {
        mxArray *array = value.array;
        value.array = nullptr;
        return array;
    }
    std::vector<int> dims = value.dims.vector();
    if (value.zero_filled)
        return value.kind == Kind::Cell ? mexhost::make_cell(dims)
                                        : mexhost::make_empty(class_of(value.kind), dims);
    switch (value.kind) {
    case Kind::Double:
        return mexhost::make_double(value.numbers, dims);
    case Kind::Logical: {
        std::vector<bool> bits;
        for (double x : value.numbers) bits.push_back(x != 0);
        return mexhost::make_logical(bits, dims);
    }
    case Kind::Char:
        return mexhost::make_char(value.units, dims);
    case Kind::Int32:
        return mexhost::make_int32(cast_all<int32_t>(value.numbers), dims);
    case Kind::UInt32:
        return mexhost::make_uint32(cast_all<uint32_t>(value.numbers), dims);
    case Kind::Struct:
        return mexhost::make_struct();
    case Kind::Cell:
        break;
    }
    std::vector<mxArray *> elements;
    elements.reserve(value.cells.size());
    for (const ValuePtr &element : value.cells) elements.push_back(element ? to_array(*element) : nullptr);
    return mexhost::make_cell(std::move(dims), std::move(elements));
}

mxArray *parse_literal(std::string_view text, LiteralError *error, size_t max_elements)
{
    try {
        ValuePtr value = Parser(text, max_elements).parse();
        return to_array(*value);
    } catch (const Failure &failure) {
        if (error) *error = LiteralError{failure.offset, failure.message};
        return nullptr;
    }
}

// The start of each character (code point; a byte that is no UTF-8 counts as one) in text.
static std::vector<size_t> character_starts(std::string_view text)
{
    std::vector<size_t> starts;
    for (size_t pos = 0; pos < text.size();) {
        starts.push_back(pos);
        char32_t cp;
        size_t length = text::decode_utf8(text, pos, &cp);
        pos += length ? length : 1;
    }
    return starts;
}

// Characters of a line shown on either side of the caret; a literal read from a file can be one
// line of megabytes.
const size_t kContext = 40;

std::string describe(std::string_view text, const LiteralError &error)
{
    size_t offset = std::min(error.offset, text.size());
    size_t line_start = offset == 0 ? 0 : text.rfind('\n', offset - 1);
    line_start = line_start == std::string_view::npos || offset == 0 ? 0 : line_start + 1;
    size_t line_end = std::min(text.find('\n', offset), text.size());
    size_t line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + line_start, '\n'));
    bool several_lines = line > 1 || line_end + 1 < text.size();

    std::string_view row = text.substr(line_start, line_end - line_start);
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
    std::vector<size_t> starts = character_starts(row);
    size_t column = static_cast<size_t>(std::lower_bound(starts.begin(), starts.end(), offset - line_start) -
                                        starts.begin());
    size_t first = column > kContext ? column - kContext : 0;
    size_t last = std::min(starts.size(), column + kContext);
    std::string shown = first > 0 ? "..." : "";
    std::string pad(shown.size(), ' ');
    size_t from = first < starts.size() ? starts[first] : row.size();
    size_t to = last < starts.size() ? starts[last] : row.size();
    shown += std::string(row.substr(from, to - from)) + (last < starts.size() ? "..." : "");
    for (size_t i = first; i < column && i < starts.size(); ++i) pad += row[starts[i]] == '\t' ? '\t' : ' ';

    std::string where = several_lines ? "line " + std::to_string(line) + ", column " : "column ";
    return error.message + " at " + where + std::to_string(column + 1) + "\n  " + shown + "\n  " + pad + "^";
}

} // namespace mexcall
