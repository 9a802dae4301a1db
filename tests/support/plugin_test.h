// The plug-in fixture: one plug-in file loaded once per test suite, and calls into it that destroy
// their inputs afterwards. Base is the fixture to build on (a store, a folder), ::testing::Test by
// default. Needs mexhost and GTest linked beside test_support.
#ifndef TESTS_SUPPORT_PLUGIN_TEST_H
#define TESTS_SUPPORT_PLUGIN_TEST_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mexhost.h"
#include "support/arrays.h"

namespace support {

template <typename Base = ::testing::Test> class PluginTest : public Base {
protected:
    // For the suite's SetUpTestSuite and TearDownTestSuite.
    static void load_plugin(const char *path)
    {
        std::string error;
        plugin_ = mexhost::Plugin::load(path, &error);
        ASSERT_TRUE(plugin_) << path << ": " << error;
    }

    static void unload_plugin() { plugin_.reset(); }

    static mexhost::CallResult run(std::vector<mxArray *> inputs, mexhost::CallOptions options = {})
    {
        mexhost::CallResult result =
            mexhost::call(*plugin_, std::vector<const mxArray *>(inputs.begin(), inputs.end()), options);
        for (mxArray *input : inputs) mexhost::destroy(input);
        return result;
    }

    static inline std::unique_ptr<mexhost::Plugin> plugin_;
};

} // namespace support

#endif
