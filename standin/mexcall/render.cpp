// Rendering of host arrays for mexcall. Text follows the command window's loose format closely
// enough to read alike; N-D arrays show their size and class only.
#include "render.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "json.h"
#include "mexhost.h"
#include "utf8.h"

namespace mexcall {

const char kTimes[] = "\xC3\x97"; // U+00D7, as in "1×2 cell array"

// The shortest text that reads back as the same double.
static std::string json_number(double x)
{
    if (!std::isfinite(x)) return "null";
    char buffer[32];
    if (x == std::floor(x) && std::fabs(x) < 1e15) {
        std::snprintf(buffer, sizeof buffer, "%.0f", x);
        return buffer;
    }
    for (int precision = 15; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, x);
        if (std::strtod(buffer, nullptr) == x) break;
    }
    return buffer;
}

// Characters a UTF-8 text takes on screen (one per code point).
static size_t screen_width(const std::string &text)
{
    size_t width = 0;
    for (char c : text) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return width;
}

static std::string shape(const mxArray *array)
{
    std::string text;
    for (int d : mexhost::dims(array)) text += (text.empty() ? "" : kTimes) + std::to_string(d);
    return text;
}

// Row i of a 2-D char array, its units taken down the columns.
static std::u16string char_row(const mxArray *array, int row)
{
    std::u16string units = mexhost::char_units(array), out;
    std::vector<int> d = mexhost::dims(array);
    for (int j = 0; j < d[1]; ++j) out += units[static_cast<size_t>(j) * d[0] + row];
    return out;
}

static std::string format_number(double x, const char *format)
{
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, x);
    return buffer;
}

// Whole numbers as they are; otherwise four decimals, or exponents for very large or small ones.
static std::vector<std::string> number_texts(const std::vector<double> &values)
{
    bool whole = true;
    double largest = 0, smallest = INFINITY;
    for (double x : values) {
        if (!std::isfinite(x)) continue;
        whole = whole && x == std::floor(x);
        largest = std::fmax(largest, std::fabs(x));
        if (x != 0) smallest = std::fmin(smallest, std::fabs(x));
    }
    const char *format = whole ? "%.0f" : (largest >= 1e5 || smallest < 1e-3) ? "%.4e" : "%.4f";
    std::vector<std::string> texts;
    for (double x : values) texts.push_back(format_number(x, format));
    return texts;
}

static std::string numeric_body(const mxArray *array)
{
    std::vector<int> d = mexhost::dims(array);
    std::vector<double> values = mexhost::numbers(array);
    std::string out;
    bool is_double = mxGetClassID(array) == mxDOUBLE_CLASS;
    if (!is_double) {
        out += values.size() == 1 ? std::string("  ") + mxGetClassName(array)
                                  : "  " + shape(array) + " " + mxGetClassName(array) + " array";
        out += "\n\n";
    }
    std::vector<std::string> texts = number_texts(values);
    size_t longest = 0; // without a minus sign, which takes a column of the padding
    bool whole = true;
    for (size_t i = 0; i < texts.size(); ++i) {
        longest = std::max(longest, texts[i].size() - (texts[i][0] == '-'));
        whole = whole && (!std::isfinite(values[i]) || values[i] == std::floor(values[i]));
    }
    size_t width = !is_double ? longest + 3 : whole ? std::max<size_t>(6, longest + 3) : longest + 4;
    for (int i = 0; i < d[0]; ++i) {
        for (int j = 0; j < d[1]; ++j) {
            const std::string &text = texts[static_cast<size_t>(j) * d[0] + i];
            out += std::string(width - text.size(), ' ') + text;
        }
        out += "\n";
    }
    return out;
}

// What a cell shows for one element, without its braces.
static std::string element_summary(const mxArray *element)
{
    if (!element) return std::string("0") + kTimes + "0 double";
    mxClassID cls = mxGetClassID(element);
    std::vector<int> d = mexhost::dims(element);
    bool row = d.size() == 2 && d[0] == 1;
    if (cls == mxCHAR_CLASS && row && mxGetNumberOfElements(element) > 0)
        return "'" + text::utf8_from_utf16(mexhost::char_units(element)) + "'";
    if (cls != mxCELL_CLASS && cls != mxSTRUCT_CLASS && cls != mxCHAR_CLASS &&
        mxGetNumberOfElements(element) == 1)
        return "[" + number_texts(mexhost::numbers(element))[0] + "]";
    return shape(element) + " " + mxGetClassName(element);
}

static std::string cell_body(const mxArray *array)
{
    std::vector<int> d = mexhost::dims(array);
    std::vector<std::string> texts;
    for (size_t i = 0; i < mxGetNumberOfElements(array); ++i)
        texts.push_back(element_summary(mexhost::cell_element(array, i)));
    std::string out = "  " + shape(array) + " cell array\n\n";
    std::vector<size_t> widths(static_cast<size_t>(d[1]), 0);
    for (int j = 0; j < d[1]; ++j)
        for (int i = 0; i < d[0]; ++i)
            widths[j] = std::max(widths[j], screen_width(texts[static_cast<size_t>(j) * d[0] + i]));
    for (int i = 0; i < d[0]; ++i) {
        for (int j = 0; j < d[1]; ++j) {
            const std::string &text = texts[static_cast<size_t>(j) * d[0] + i];
            out += "    {" + text + std::string(widths[j] - screen_width(text), ' ') + "}";
        }
        out += "\n";
    }
    return out;
}

static std::string body(const mxArray *array)
{
    mxClassID cls = mxGetClassID(array);
    std::vector<int> d = mexhost::dims(array);
    size_t count = mxGetNumberOfElements(array);
    if (cls == mxSTRUCT_CLASS)
        return count == 1 ? "  struct with no fields.\n"
                          : "  " + shape(array) + " struct array with no fields.\n";
    if (count == 0) {
        if (cls == mxDOUBLE_CLASS && d.size() == 2 && d[0] == 0 && d[1] == 0) return "     []\n";
        return "  " + shape(array) + " empty " + mxGetClassName(array) + " array\n";
    }
    if (d.size() > 2) return "  " + shape(array) + " " + mxGetClassName(array) + " array\n";
    if (cls == mxCELL_CLASS) return cell_body(array);
    if (cls != mxCHAR_CLASS) return numeric_body(array);
    if (d[0] == 1) return "    '" + text::utf8_from_utf16(mexhost::char_units(array)) + "'\n";
    std::string out = "  " + shape(array) + " char array\n\n";
    for (int i = 0; i < d[0]; ++i) out += "    '" + text::utf8_from_utf16(char_row(array, i)) + "'\n";
    return out;
}

namespace {

// Bytes gathered on the stack and added to a text in pieces: the parts every value has (class
// and size) cost one addition, not one for each part.
class Gather {
public:
    explicit Gather(std::string &out) : out_(out) {}
    ~Gather() { flush(); }
    Gather(const Gather &) = delete;
    Gather &operator=(const Gather &) = delete;

    void add(const char *bytes, size_t size)
    {
        if (size > sizeof bytes_ - used_) flush();
        if (size > sizeof bytes_) {
            out_.append(bytes, size);
            return;
        }
        std::memcpy(bytes_ + used_, bytes, size);
        used_ += size;
    }
    void add(const char *text) { add(text, std::strlen(text)); }
    void add_count(size_t n)
    {
        char digits[24];
        add(digits, static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, n).ptr - digits));
    }
    void flush()
    {
        out_.append(bytes_, used_);
        used_ = 0;
    }

private:
    std::string &out_;
    char bytes_[128];
    size_t used_ = 0;
};

// JSON as it is rendered: every value goes into one text, so that a cell of many names costs no
// text for each. A text written as it is made goes out a piece at a time, never held whole.
struct Json {
    std::string text;
    std::FILE *stream = nullptr; // null: kept whole

    void between_values()
    {
        if (!stream || text.size() < kPiece) return;
        std::fwrite(text.data(), 1, text.size(), stream);
        text.clear();
    }

    static constexpr size_t kPiece = size_t(1) << 16;
};

} // namespace

static void append_json_value(Json &json, const mxArray *array)
{
    std::string &out = json.text;
    const int *d = mxGetDimensions_700(array);
    int ndim = mxGetNumberOfDimensions_700(array);
    size_t stored = 1; // the elements the array holds, whatever its count is made to report
    {
        Gather head(out);
        head.add("{\"class\":\"");
        head.add(mxGetClassName(array));
        head.add("\",\"dims\":[");
        for (int i = 0; i < ndim; ++i) {
            if (i) head.add(",", 1);
            head.add_count(static_cast<size_t>(d[i]));
            stored *= static_cast<size_t>(d[i]);
        }
        head.add("],\"value\":");
    }
    switch (mxGetClassID(array)) {
    case mxCHAR_CLASS:
        text::append_json_string(out, std::u16string_view(static_cast<const char16_t *>(mxGetData(array)),
                                                          mxGetData(array) ? stored : 0));
        break;
    case mxSTRUCT_CLASS:
        out += "{}";
        break;
    case mxCELL_CLASS:
        out += '[';
        for (size_t i = 0; i < mxGetNumberOfElements(array); ++i) {
            if (i) out += ',';
            const mxArray *element = mexhost::cell_element(array, i);
            if (element)
                append_json_value(json, element);
            else
                out += "null";
            json.between_values();
        }
        out += ']';
        break;
    default: {
        std::vector<double> values = mexhost::numbers(array);
        out += '[';
        for (size_t i = 0; i < values.size(); ++i) out += (i ? "," : "") + json_number(values[i]);
        out += ']';
    }
    }
    out += '}';
}

std::string json_value(const mxArray *array)
{
    Json json;
    append_json_value(json, array);
    return std::move(json.text);
}

static void append_json_outputs(Json &json, const std::vector<mxArray *> &outputs)
{
    json.text += "{\"outputs\":[";
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (i) json.text += ',';
        append_json_value(json, outputs[i]);
        json.between_values();
    }
    json.text += "]}";
}

std::string json_outputs(const std::vector<mxArray *> &outputs)
{
    Json json;
    append_json_outputs(json, outputs);
    return std::move(json.text);
}

void write_json_outputs(std::FILE *stream, const std::vector<mxArray *> &outputs)
{
    Json json;
    json.stream = stream;
    append_json_outputs(json, outputs);
    json.text += '\n';
    std::fwrite(json.text.data(), 1, json.text.size(), stream);
}

std::string json_error(const std::string &identifier, const std::string &message)
{
    return "{\"error\":{\"identifier\":" + text::json_string_of_bytes(identifier) +
           ",\"message\":" + text::json_string_of_bytes(message) + "}}";
}

std::string display(const std::string &name, const mxArray *array)
{
    return name + " =\n\n" + body(array) + "\n";
}

std::string display_error(const std::string &function, const std::string &message)
{
    return "Error using " + function + "\n" + message + "\n";
}

} // namespace mexcall
