// What both Orlenda test files share: the plug-in fixture, the expected failures (from
// cases/orlenda_errors.h), and checks of a failed call and of a successful one's single char row.
#ifndef ORLENDA_CALL_H
#define ORLENDA_CALL_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cases/orlenda_errors.h"
#include "mexhost.h"
#include "support/plugin_test.h"
#include "support/text.h"

using support::printable;

class OrlendaCall : public support::PluginTest<> {
protected:
    static void SetUpTestSuite() { load_plugin(ORLENDA_PLUGIN); }

    static void TearDownTestSuite() { unload_plugin(); }

    static void expect_failure(const mexhost::CallResult &result, const OrlendaError &outcome)
    {
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.identifier, outcome.identifier);
        EXPECT_EQ(result.message, outcome.message);
        EXPECT_TRUE(result.outputs.empty()) << "an output survived the error";
    }

    // A successful call that left nothing unfreed; its one output, a 1 x N char row.
    static std::u16string row_of(const mexhost::CallResult &result)
    {
        EXPECT_TRUE(result.ok) << result.identifier << ": " << result.message;
        EXPECT_EQ(result.leaked_blocks, 0u);
        EXPECT_EQ(result.leaked_arrays, 0u);
        if (!result.ok || result.outputs.size() != 1) {
            ADD_FAILURE() << "no output";
            return u"<no output>";
        }
        return row(result.outputs[0]);
    }

    static std::u16string row(const mxArray *array)
    {
        std::u16string units = mexhost::char_units(array);
        EXPECT_EQ(mexhost::dims(array), (std::vector<int>{1, (int)units.size()}));
        return units;
    }
};

#endif
