// Both .mexw64 files loaded by the Windows loader itself: the entries a host looks up, and the
// API version they report (the 32-bit-dimensions API).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using VersionQuery = void (*)(unsigned int *built_by_release, unsigned int *target_api_version);

TEST(Mexw64, ExportsTheEntryAndReportsTheApiItWasBuiltFor)
{
    for (const char *path : {ORLENDA_PLUGIN, TESSALY_PLUGIN}) {
        SCOPED_TRACE(path);
        std::string name(path);
        for (char &c : name)
            if (c == '/') c = '\\'; // the altered search path needs backslashes
        HMODULE module = LoadLibraryExA(name.c_str(), NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
        ASSERT_NE(module, nullptr) << "error " << GetLastError();
        EXPECT_NE(GetProcAddress(module, "mexFunction"), nullptr);
        auto query = (VersionQuery)(void *)GetProcAddress(module, "mexfilerequiredapiversion");
        ASSERT_NE(query, nullptr);
        unsigned int built_by_release = 0xDEADBEEF, target_api_version = 0xDEADBEEF;
        query(&built_by_release, &target_api_version);
        EXPECT_EQ(target_api_version, 0x07000000u);
        EXPECT_EQ(built_by_release, 0x2017u);
        FreeLibrary(module);
    }
}

}  // namespace
