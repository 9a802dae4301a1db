// Both .mexw64 files loaded by the Windows loader itself: the entries a host looks up, and the
// two values the version export writes (the release that built them, the 32-bit-dimensions API).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using VersionQuery = void (*)(unsigned int *built_by_release, unsigned int *target_api_version);

} // namespace

// The host's own test of a built-by release: its form 0xYYYYr, r being a or b (the year's two
// releases), and no earlier than 0x2016b.
static bool HostAcceptsRelease(unsigned int release)
{
    unsigned int half = release & 0xF, year = release >> 4;
    bool year_digits = year >= 0x1000 && year <= 0x9999 && (year & 0xF) <= 9 && ((year >> 4) & 0xF) <= 9 &&
                       ((year >> 8) & 0xF) <= 9;
    return (half == 0xA || half == 0xB) && year_digits && release >= 0x2016Bu;
}

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
        EXPECT_EQ(built_by_release, 0x2017Au);
        EXPECT_TRUE(HostAcceptsRelease(built_by_release));
        FreeLibrary(module);
    }
}
