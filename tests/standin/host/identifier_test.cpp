// The host checks an error's identifier as MATLAB does: a malformed one replaces the plug-in's
// error with the host's own, so a plug-in whose identifiers MATLAB would refuse fails here too.
#include <gtest/gtest.h>

#include <string>

#include "mexhost.h"
#include "support/plugin_test.h"

static std::string plugin_path(const char *name)
{
    return std::string(TEST_MEX_DIR "/") + name + mexhost::plugin_extension();
}

namespace {

class Identifier : public support::PluginTest<> {
protected:
    static void SetUpTestSuite() { load_plugin(plugin_path("probe").c_str()); }
    static void TearDownTestSuite() { unload_plugin(); }

    // probe('raise', identifier, 'the plug-in''s text')
    static mexhost::CallResult raise(const std::u16string &identifier)
    {
        return run({mexhost::make_char(u"raise"), mexhost::make_char(identifier),
                    mexhost::make_char(u"the plug-in's text")});
    }
};

} // namespace

TEST_F(Identifier, ValidOnesArriveWithTheirMessage)
{
    const char16_t *const valid[] = {
        u"",                           // no identifier at all
        u"a:b",                        // the shortest
        u"Peltrac:Varnelle:BadNInput", // three fields
        u"Peltrac:Varnelle:GetFullName_Failed_Static",
        u"A1:b_2", // digits and underscores after the first letter
        u"x_:y__9:Z",
        u"MATLAB:mexapi:invalidErrorIdentifier",
    };
    for (const char16_t *identifier : valid) {
        std::u16string given = identifier;
        SCOPED_TRACE(std::string(given.begin(), given.end()));
        mexhost::CallResult result = raise(given);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.identifier, std::string(given.begin(), given.end()));
        EXPECT_EQ(result.message, "the plug-in's text");
    }
}

TEST_F(Identifier, InvalidOnesAreReplacedByTheHostsError)
{
    const char16_t *const invalid[] = {
        u"noColon", // one field
        u"1a:b",    // a leading digit
        u"a:2b",    // a field led by a digit
        u"_a:b",    // a leading underscore
        u"a b:c",   // a space inside
        u"a:b ",    // a trailing space
        u" a:b",    // a leading space
        u":a",      // an empty first field
        u"a::b",    // an empty middle field
        u"a:",      // a trailing colon
        u":",
        u"a-b:c",                          // a hyphen
        u"a.b:c",                          // a dot
        u"*** Peltrac:Varnelle:BadNInput", // the historical form
        u"\u00E4:b",                       // a letter beyond ASCII
    };
    for (const char16_t *identifier : invalid) {
        std::u16string given = identifier;
        SCOPED_TRACE(std::string(given.begin(), given.end()));
        mexhost::CallResult result = raise(given);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.identifier, "MATLAB:mexapi:invalidErrorIdentifier");
        EXPECT_EQ(result.message, "The error message identifier is invalid.");
        EXPECT_TRUE(result.outputs.empty());
    }
}

// mexErrMsgTxt carries no identifier, so nothing is checked.
TEST_F(Identifier, PlainErrorsAreNotChecked)
{
    mexhost::CallResult result = run({mexhost::make_char(u"fail"), mexhost::make_double({0})});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.identifier, "");
    EXPECT_EQ(result.message, "plain 100% text");
}
