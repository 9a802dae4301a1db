// Fuzz target: mexcall's literal parser on any bytes, and its renderers on whatever it accepts.
// A literal is either refused with a message pointing into the text, or becomes an array that
// renders as well-formed UTF-8 JSON starting with its class and size, and in the command
// window's form.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "json_check.h"
#include "literal.h"
#include "mexhost.h"
#include "render.h"

// The parser's own cap on what one literal may build: its values and cell slots together.
static const double kMaxElements = 1 << 26;
static const double kRenderLimit = 1 << 16;

// Elements of an array and of every array inside it: values, and the slots of cells, set or not,
// as the parser counts them against its cap.
static double values_in(const mxArray *array)
{
    if (!mxIsCell(array)) return (double)mxGetNumberOfElements(array);
    FUZZ_REQUIRE(mxGetNumberOfElements(array) <= kMaxElements, "a cell of %zu slots",
                 mxGetNumberOfElements(array));
    double count = (double)mxGetNumberOfElements(array);
    for (size_t i = 0; i < mxGetNumberOfElements(array); ++i)
        if (const mxArray *element = mexhost::cell_element(array, i)) count += values_in(element);
    return count;
}

static std::string json_head(const mxArray *array)
{
    std::string head = std::string("{\"class\":\"") + mxGetClassName(array) + "\",\"dims\":[";
    std::vector<int> dims = mexhost::dims(array);
    for (size_t i = 0; i < dims.size(); ++i) head += (i ? "," : "") + std::to_string(dims[i]);
    return head + "]";
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);

    // Messages of plug-ins are any bytes; the JSON form must still be JSON.
    std::string error_json = mexcall::json_error(text, text);
    FUZZ_REQUIRE(json_check::valid(error_json), "json_error gave malformed JSON: %s", error_json.c_str());

    mexcall::LiteralError error;
    mxArray *array = mexcall::parse_literal(text, &error);
    if (array == nullptr) {
        FUZZ_REQUIRE(!error.message.empty(), "refused without a message");
        FUZZ_REQUIRE(error.offset <= text.size(), "error offset %zu past the literal's %zu bytes",
                     error.offset, text.size());
        std::string described = mexcall::describe(text, error);
        FUZZ_REQUIRE(described.compare(0, error.message.size(), error.message) == 0,
                     "describe() does not start with the message: %s", described.c_str());
        return 0;
    }

    double values = values_in(array);
    FUZZ_REQUIRE(values <= kMaxElements, "a literal built %.0f elements", values);
    // Rendering follows the same paths at any size; near the cap it takes minutes under ASan.
    if (values > kRenderLimit) {
        mexhost::destroy(array);
        return 0;
    }
    std::string json = mexcall::json_value(array);
    FUZZ_REQUIRE(json_check::valid(json), "json_value gave malformed JSON: %s", json.c_str());
    std::string head = json_head(array);
    FUZZ_REQUIRE(json.compare(0, head.size(), head) == 0, "json_value starts %s, not %s", json.c_str(),
                 head.c_str());
    std::vector<mxArray *> outputs{array, array};
    FUZZ_REQUIRE(mexcall::json_outputs(outputs) == "{\"outputs\":[" + json + "," + json + "]}",
                 "json_outputs is not the outputs' values in order");

    std::string shown = mexcall::display("ans", array);
    FUZZ_REQUIRE(shown.compare(0, 7, "ans =\n\n") == 0, "display starts otherwise: %s", shown.c_str());
    FUZZ_REQUIRE(json_check::valid_utf8(shown), "display gave text that is not UTF-8: %s", shown.c_str());
    mexhost::destroy(array);
    return 0;
}
