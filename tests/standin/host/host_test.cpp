// The stand-in host's semantics, through the probe and hello test plug-ins.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mexhost.h"
#include "support/plugin_test.h"

using namespace mexhost;

static std::string plugin_path(const char *name)
{
    return std::string(TEST_MEX_DIR "/") + name + plugin_extension();
}

namespace {

// Loads the probe plug-in once; every test calls it with fresh inputs.
class Host : public support::PluginTest<> {
protected:
    static void SetUpTestSuite() { load_plugin(plugin_path("probe").c_str()); }
    static void TearDownTestSuite() { unload_plugin(); }

    // probe(command, args...): the arguments are destroyed after the call.
    static CallResult probe(const char16_t *command, std::vector<mxArray *> args = {},
                            CallOptions options = {})
    {
        args.insert(args.begin(), make_char(command));
        return run(args, options);
    }
};

} // namespace

// --- Errors ---

TEST_F(Host, ErrorDiscardsOutputsAndReclaimsEveryArrayAndBlock)
{
    struct Case {
        double kind;
        const char *identifier;
        const char *message;
    };
    const Case cases[] = {
        {0, "", "plain 100% text"}, // mexErrMsgTxt: no formatting, no identifier
        {1, "probe:failed", "failed 3 of seven (0.5)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        CallResult result = probe(u"fail", {make_double({c.kind})});
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.identifier, c.identifier);
        EXPECT_EQ(result.message, c.message);
        EXPECT_TRUE(result.outputs.empty());
        EXPECT_EQ(result.arrays_created, 4u); // output cell, two elements, one loose row
        EXPECT_EQ(result.leaked_arrays, 4u);
        EXPECT_EQ(result.allocations, 3u); // the command's string (freed), mxMalloc, mxCalloc
        EXPECT_EQ(result.leaked_blocks, 2u);
    }
    CallResult after = probe(u"destructor_ran", {});
    ASSERT_TRUE(after.ok);
    EXPECT_EQ(numbers(after.outputs[0]), std::vector<double>{0}) << "an error ran a plug-in destructor";
}

TEST_F(Host, LongMessagesAreKeptWhole)
{
    std::u16string text(10000, u'm');
    text += u"end";
    CallResult result = probe(u"raise", {make_char(u"probe:long"), make_char(text)});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.identifier, "probe:long");
    EXPECT_EQ(result.message, std::string(10000, 'm') + "end");
}

TEST_F(Host, UnassignedOutputIsTheHostsError)
{
    struct Case {
        const char16_t *command;
        int nlhs;
        bool ok;
        size_t outputs;
    };
    const Case cases[] = {
        {u"nothing", 0, true, 0},                           // at the prompt nothing need be returned
        {u"nothing", 1, false, 0}, {u"first", 0, true, 1},  // plhs[0] is still taken as ans
        {u"first", 1, true, 1},    {u"first", 2, false, 0}, // the second output is missing
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.nlhs));
        CallOptions options;
        options.nlhs = c.nlhs;
        CallResult result = probe(c.command, {}, options);
        EXPECT_EQ(result.ok, c.ok);
        EXPECT_EQ(result.outputs.size(), c.outputs);
        if (c.ok) continue;
        EXPECT_EQ(result.identifier, "MATLAB:unassignedOutputs");
        EXPECT_EQ(result.message, "One or more output arguments not assigned during call to \"probe\".");
        EXPECT_EQ(result.leaked_arrays, result.arrays_created);
    }
}

// An absurd nargout is refused at once: no room is made for it and the plug-in never runs (it
// would have made its command's string). 4096 outputs are still a call.
TEST_F(Host, TooManyOutputsAreRefusedBeforeTheCall)
{
    for (int nlhs : {4097, 999999999, 2147483647}) {
        SCOPED_TRACE(nlhs);
        CallOptions options;
        options.nlhs = nlhs;
        CallResult result = probe(u"first", {}, options);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.identifier, "MATLAB:TooManyOutputs");
        EXPECT_EQ(result.message, "Too many output arguments.");
        EXPECT_EQ(result.allocations, 0u);
        EXPECT_EQ(result.arrays_created, 0u);
    }
    CallOptions most;
    most.nlhs = 4096;
    CallResult result = probe(u"first", {}, most);
    EXPECT_EQ(result.identifier, "MATLAB:unassignedOutputs");
    EXPECT_EQ(result.allocations, 1u);
}

// --- Ownership and reclaiming ---

TEST_F(Host, SuccessCountsWhatThePluginLeftBehind)
{
    CallResult result = probe(u"leak");
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.allocations, 4u); // the command's string, then three of its own
    EXPECT_EQ(result.leaked_blocks, 2u);
    EXPECT_EQ(result.arrays_created, 4u);
    EXPECT_EQ(result.leaked_arrays, 2u); // a dropped cell and the row it held
    ASSERT_EQ(result.outputs.size(), 1u);
    EXPECT_EQ(char_units(cell_element(result.outputs[0], 0)), u"returned");
}

TEST_F(Host, CellsKeepUnsetElementsAndDestroyReplacedOnes)
{
    CallResult sparse = probe(u"cell", {make_double({4}), make_double({2, 0})});
    ASSERT_TRUE(sparse.ok) << sparse.message;
    const mxArray *cell = sparse.outputs[0];
    EXPECT_EQ(char_units(cell_element(cell, 0)), u"x");
    EXPECT_EQ(cell_element(cell, 1), nullptr);
    EXPECT_EQ(char_units(cell_element(cell, 2)), u"x");
    EXPECT_EQ(cell_element(cell, 3), nullptr);
    EXPECT_EQ(sparse.leaked_arrays, 0u);

    CallResult replaced = probe(u"replace");
    ASSERT_TRUE(replaced.ok) << replaced.message;
    EXPECT_EQ(char_units(cell_element(replaced.outputs[0], 0)), u"second");
    EXPECT_EQ(replaced.arrays_created, 3u);
    EXPECT_EQ(replaced.leaked_arrays, 0u); // the first row was the host's to destroy
}

TEST_F(Host, AnInputHandedBackIsCopied)
{
    mxArray *input = make_char(u"mine");
    std::vector<const mxArray *> inputs = {make_char(u"pass"), input};
    CallResult result = call(*plugin_, inputs);
    ASSERT_TRUE(result.ok) << result.message;
    ASSERT_EQ(result.outputs.size(), 1u);
    EXPECT_NE(result.outputs[0], input);
    EXPECT_EQ(char_units(result.outputs[0]), u"mine");
    destroy(const_cast<mxArray *>(inputs[0]));
    destroy(input);
}

// --- Arrays ---

TEST_F(Host, DimensionsFollowTheHostsRules)
{
    struct Case {
        std::vector<double> given;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {{}, {1, 1}},  // no dimensions: a scalar
        {{5}, {5, 1}}, // one: a column
        {{2, 3}, {2, 3}},
        {{2, 3, 1, 1}, {2, 3}}, // trailing singletons dropped
        {{1, 1, 1}, {1, 1}},    // but never below two
        {{2, 1, 3}, {2, 1, 3}}, // inner singletons stay
        {{2, 3, 4, 1}, {2, 3, 4}},
        {{-1, 3}, {0, 3}}, // negative sizes as 0
        {{0, 0}, {0, 0}},
        // one size 0: empty, however large the others' product would be
        {{2147483647, 2147483647, 2147483647, 0, 5}, {2147483647, 2147483647, 2147483647, 0, 5}},
    };
    for (const char16_t *cls : {u"char", u"cell"}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(::testing::PrintToString(c.given));
            mxArray *given = make_double(c.given, {1, static_cast<int>(c.given.size())});
            CallResult result = probe(u"dims", {given, make_char(cls)});
            ASSERT_TRUE(result.ok) << result.message;
            EXPECT_EQ(dims(result.outputs[0]), c.expected);
        }
    }
    mxArray *matrix = make_char(u"abcdef", {2, 3, 1});
    EXPECT_EQ(dims(matrix), (std::vector<int>{2, 3}));
    EXPECT_EQ(mxGetNumberOfDimensions_700(matrix), 2);
    destroy(matrix);
}

TEST_F(Host, BuildersMakeTheShapesTheySay)
{
    struct Case {
        const char *what;
        mxArray *array;
        mxClassID cls;
        std::vector<int> dims;
    };
    const Case cases[] = {
        {"''", make_char(u""), mxCHAR_CLASS, {0, 0}},
        {"'ab'", make_char(u"ab"), mxCHAR_CLASS, {1, 2}},
        {"[]", make_double({}), mxDOUBLE_CLASS, {0, 0}},
        {"uint32 row", make_uint32({1, 2, 3}), mxUINT32_CLASS, {1, 3}},
        {"int32 column", make_int32({-1, 2}, {2, 1}), mxINT32_CLASS, {2, 1}},
        {"logical", make_logical({true, false}), mxLOGICAL_CLASS, {1, 2}},
        {"zeros(1,0,'uint32')", make_empty(mxUINT32_CLASS, {1, 0}), mxUINT32_CLASS, {1, 0}},
        {"cell(2,2)", make_cell({2, 2}), mxCELL_CLASS, {2, 2}},
        {"struct()", make_struct(), mxSTRUCT_CLASS, {1, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(mxGetClassID(c.array), c.cls);
        EXPECT_EQ(dims(c.array), c.dims);
        destroy(c.array);
    }
}

TEST_F(Host, StringsAreEightBitAndEndAtAZeroUnit)
{
    struct Case {
        std::u16string given;
        std::u16string bytes; // the string's bytes, one unit each
    };
    const Case cases[] = {
        {u"plain", u"plain"},
        {u"caf\u00e9", u"caf\u00e9"},          // Latin-1 units keep their byte
        {u"\u4e2d\u6587.", u"??."},            // the rest become '?'
        {std::u16string(u"ab\0cd", 5), u"ab"}, // the C string ends at the zero unit
        {u"", u""},
    };
    for (const Case &c : cases) {
        CallResult result = probe(u"tostring", {make_char(c.given)});
        ASSERT_TRUE(result.ok) << result.message;
        EXPECT_EQ(char_units(result.outputs[0]), c.bytes);
        EXPECT_EQ(result.leaked_blocks, 1u); // the host reclaims the string
    }
}

// --- Failure injection ---

TEST_F(Host, TheNthRequestGivesNull)
{
    struct Case {
        size_t fail_allocation;
        std::vector<double> nulls;
    };
    const Case cases[] = {
        {0, {0, 0, 0, 0, 0}}, {1, {1, 0, 0, 0, 0}}, {4, {0, 0, 0, 1, 0}}, // an mxCalloc
        {5, {0, 0, 0, 0, 1}}, {6, {0, 0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fail_allocation);
        CallOptions options;
        options.fail_allocation = c.fail_allocation;
        // The probe's own mxArrayToString is no mxMalloc/mxCalloc request.
        CallResult result = probe(u"alloc", {make_double({5})}, options);
        ASSERT_TRUE(result.ok) << result.message;
        EXPECT_EQ(numbers(result.outputs[0]), c.nulls);
        EXPECT_EQ(result.leaked_blocks, 0u);
    }
}

TEST_F(Host, ReportedCountNeedsNoAllocation)
{
    mxArray *name = make_char(u"abc");
    set_reported_count(name, size_t(1) << 31);
    CallResult result = probe(u"count", {name});
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(numbers(result.outputs[0]), std::vector<double>{2147483648.0});
}

// --- Plug-in files ---

TEST_F(Host, SeveralPluginsLoadTogether)
{
    std::string error;
    std::unique_ptr<Plugin> hello = Plugin::load(plugin_path("hello"), &error);
    ASSERT_NE(hello, nullptr) << error;
    EXPECT_EQ(hello->name(), "hello");
    EXPECT_EQ(plugin_->name(), "probe");
    for (int round = 0; round < 3; ++round) {
        CallResult greeting = call(*hello, {});
        ASSERT_TRUE(greeting.ok) << greeting.message;
        EXPECT_EQ(char_units(greeting.outputs[0]), u"hello");
        CallResult failed = probe(u"fail", {make_double({1})});
        EXPECT_EQ(failed.identifier, "probe:failed");
    }
}

TEST(PluginLoad, RefusesWhatIsNoPlugin)
{
    struct Case {
        std::string path;
        const char *error_part;
    };
    const Case cases[] = {
        {plugin_path("missing"), "missing"},
        {plugin_path("nomex"), "no mexFunction"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        std::string error;
        EXPECT_EQ(Plugin::load(c.path, &error), nullptr);
        EXPECT_NE(error.find(c.error_part), std::string::npos) << error;
    }
}

TEST(PluginLoad, FunctionNameIsTheFileName)
{
    EXPECT_EQ(function_name("/a/b.c/Orlenda.mexa64"), "Orlenda");
    EXPECT_EQ(function_name("tessaly.mexw64"), "tessaly");
    EXPECT_EQ(function_name("plain"), "plain");
}

// --- Misuse aborts, naming what was done ---

TEST_F(Host, MisuseAborts)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    struct Case {
        const char16_t *command;
        const char *message; // a regular expression
    };
    const Case cases[] = {
        {u"setcell_range", "mxSetCell_700: index 2 out of range for a cell of 2 elements"},
        {u"getcell_range", "mxGetCell_700: index -1 out of range for a cell of 1 elements"},
        {u"free_foreign", "mxFree\\(.*\\): not a live block of the host heap"},
        {u"free_twice", "mxFree\\(.*\\): not a live block of the host heap"},
        {u"write_input", "plug-in \"probe\" wrote into input 2 \\(prhs\\[1\\]\\)"},
        {u"setcell_input", "mxSetCell_700: the array is an input"},
        {u"throw", "plug-in \"probe\" misused the host: a C\\+\\+ exception left mexFunction"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_DEATH(probe(c.command, {make_cell({1, 1}, {make_char(u"abc")})}), c.message);
    }
}

TEST(HostOutsideCalls, MisuseAborts)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(mexErrMsgTxt("stray"), "an error was raised outside a call: stray");
    EXPECT_DEATH(make_char(u"abc", {2, 2}), "make_char: 3 values for dimensions of 4 elements");
    void *block = mxMalloc(8); // the caller's own block
    mxFree(block);
    EXPECT_DEATH(mxFree(block), "not a live block of the host heap");
}
