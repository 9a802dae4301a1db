// What both Orlenda test files share: the plug-in loaded once per suite, a call that frees its
// inputs, and checks of a failed call and of a successful one's single char row.
#ifndef ORLENDA_CALL_H
#define ORLENDA_CALL_H

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "mexhost.h"

struct Outcome {
    std::string identifier;
    std::string message;
};

const Outcome BadNInput{"*** Peltrac:Varnelle:BadNInput", "Varnelle: 1 input required, 1 output allowed."};
const Outcome BadInputType{"*** Peltrac:Varnelle:BadInputType",
                           "Varnelle: [FileName] must be a string or cell string."};
const Outcome BadInputSize{"*** Peltrac:Varnelle:BadInputSize", "Varnelle: FileName is too long."};
const Outcome NoMemoryName{"*** Peltrac:Varnelle:NoMemory", "Varnelle: No memory for FileName."};
const Outcome NoMemoryBuffer{"*** Peltrac:Varnelle:NoMemory", "Varnelle: No memory for dynamic buffer."};
const Outcome FullNameStatic{"*** Peltrac:Varnelle:GetFullName_Failed_Static",
                             "Varnelle: VarnelleName failed."};
const Outcome FullNameDynamic{"*** Peltrac:Varnelle:GetFullName_Failed_Dynamic",
                              "Varnelle: VarnelleName failed."};
const Outcome LongNameTooLong{"*** Peltrac:Varnelle:Orlenda_Failed",
                              "Varnelle: Orlenda failed - name too long."};

// Printable ASCII as it is, every other unit as \uXXXX, so failures read well.
inline std::string narrow(const std::u16string &units)
{
    std::string out;
    for (char16_t unit : units) {
        if (unit >= 0x20 && unit < 0x7F) {
            out += (char)unit;
        } else {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04X", (unsigned)unit);
            out += escape;
        }
    }
    return out;
}

class OrlendaCall : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string error;
        plugin_ = mexhost::Plugin::load(ORLENDA_PLUGIN, &error);
        ASSERT_TRUE(plugin_) << error;
    }

    static void TearDownTestSuite() { plugin_.reset(); }

    static mexhost::CallResult run(std::vector<mxArray *> inputs, mexhost::CallOptions options = {})
    {
        mexhost::CallResult result =
            mexhost::call(*plugin_, std::vector<const mxArray *>(inputs.begin(), inputs.end()), options);
        for (mxArray *input : inputs) mexhost::destroy(input);
        return result;
    }

    static void expect_failure(const mexhost::CallResult &result, const Outcome &outcome)
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

    static std::unique_ptr<mexhost::Plugin> plugin_;
};

inline std::unique_ptr<mexhost::Plugin> OrlendaCall::plugin_;

#endif
