// Orlenda against scripted answers of the path stand-in: exactly what the plug-in hands the platform,
// the platform's failures, and the enlarged buffer with its long-path prefixes.
#include <windows.h>

#include <standin/paths.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "orlenda_call.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

static std::u16string repeat(char16_t unit, size_t times) { return std::u16string(times, unit); }

namespace {

// What the plug-in handed the platform, call by call.
struct FullCall {
    std::u16string name; // up to its first 0 unit
    DWORD capacity;
    WCHAR *buffer;
    bool file_part_null;
    DWORD answer;
};

struct LongCall {
    std::u16string source; // up to its first 0 unit
    const WCHAR *source_at;
    WCHAR *destination;
    DWORD capacity;
};

std::vector<FullCall> full_calls;
std::vector<LongCall> long_calls;

// Scripted answers, one per call in order; a call past the script gets the stand-in's own answer.
// kOwnAnswer in a script does the same for one call.
constexpr DWORD kOwnAnswer = 0xFFFFFFFF;
std::vector<DWORD> full_script;
std::vector<DWORD> long_script;

} // namespace

static DWORD full_hook(LPCWSTR name, DWORD capacity, LPWSTR buffer, LPWSTR *file_part);
static DWORD long_hook(LPCWSTR source, LPWSTR destination, DWORD capacity);

static DWORD full_hook(LPCWSTR name, DWORD capacity, LPWSTR buffer, LPWSTR *file_part)
{
    size_t index = full_calls.size();
    full_calls.push_back({name, capacity, buffer, file_part == nullptr, 0});
    DWORD answer = index < full_script.size() ? full_script[index] : kOwnAnswer;
    if (answer == kOwnAnswer) {
        StandinSetFullPathHook(nullptr);
        answer = GetFullPathNameW(name, capacity, buffer, file_part);
        StandinSetFullPathHook(full_hook);
    }
    full_calls.back().answer = answer;
    return answer;
}

static DWORD long_hook(LPCWSTR source, LPWSTR destination, DWORD capacity)
{
    size_t index = long_calls.size();
    long_calls.push_back({source, source, destination, capacity});
    DWORD answer = index < long_script.size() ? long_script[index] : kOwnAnswer;
    if (answer == kOwnAnswer) {
        StandinSetLongPathHook(nullptr);
        answer = GetLongPathNameW(source, destination, capacity);
        StandinSetLongPathHook(long_hook);
    }
    return answer;
}

namespace {

// Every test starts from the stand-in's start state, with recording hooks that pass every call
// through until a script says otherwise.
class OrlendaScripted : public OrlendaCall {
protected:
    void SetUp() override
    {
        StandinResetPaths();
        full_calls.clear();
        long_calls.clear();
        full_script.clear();
        long_script.clear();
        StandinSetFullPathHook(full_hook);
        StandinSetLongPathHook(long_hook);
    }

    void TearDown() override { StandinResetPaths(); }
};

} // namespace

// ---- what the platform is handed -------------------------------------------------------------

// Every unit but 0, in names of 8191 units: only 0x41-0x5A change, by 0x20; accented capitals,
// other scripts and lone surrogates reach the platform as given.
TEST_F(OrlendaScripted, LowersOnlyAsciiCapitalsBeforeThePlatformSeesTheName)
{
    for (unsigned first = 1; first <= 0xFFFF; first += 8191) {
        std::u16string given, expected;
        for (unsigned unit = first; unit < first + 8191 && unit <= 0xFFFF; ++unit) {
            given += (char16_t)unit;
            expected += (char16_t)(unit >= 0x41 && unit <= 0x5A ? unit + 0x20 : unit);
        }
        SCOPED_TRACE("units from " + std::to_string(first));
        full_calls.clear();
        full_script = {0};
        expect_failure(run({mexhost::make_char(given)}), FullNameStatic);
        ASSERT_EQ(full_calls.size(), 1u);
        EXPECT_TRUE(full_calls[0].name == expected) << "the platform saw other units";
    }
}

TEST_F(OrlendaScripted, HandsTheFullNameToGetLongPathNameWInPlaceWithCapacity260)
{
    for (const char16_t *given : {u"C:\\Temp\\ABC.TXT", u"D:\\x"}) {
        SCOPED_TRACE(printable(given));
        EXPECT_EQ(printable(row_of(run({mexhost::make_char(given)}))), "");
    }
    ASSERT_EQ(full_calls.size(), 2u);
    ASSERT_EQ(long_calls.size(), 2u);
    EXPECT_EQ(printable(full_calls[0].name), "c:\\temp\\abc.txt");
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(full_calls[i].capacity, 260u);
        EXPECT_TRUE(full_calls[i].file_part_null);
        EXPECT_EQ(long_calls[i].source_at, full_calls[i].buffer);
        EXPECT_EQ(long_calls[i].destination, full_calls[i].buffer);
        EXPECT_EQ(long_calls[i].capacity, 260u);
    }
    EXPECT_EQ(full_calls[0].buffer, full_calls[1].buffer) << "one module-wide buffer serves every call";
}

// The platform sees only element 3 before the number at element 2 stops the call.
TEST_F(OrlendaScripted, ConvertsTheLastCellElementFirst)
{
    mexhost::CallResult result = run({mexhost::make_cell(
        {1, 3}, {mexhost::make_char(u"a"), mexhost::make_double({5}), mexhost::make_char(u"b")})});
    expect_failure(result, BadInputType);
    EXPECT_EQ(result.leaked_blocks, 0u);
    ASSERT_EQ(full_calls.size(), 1u);
    EXPECT_EQ(printable(full_calls[0].name), "b");
}

// ---- the platform's failures -----------------------------------------------------------------

TEST_F(OrlendaScripted, ReportsWhatThePlatformCannotDo)
{
    const struct {
        const char *title;
        std::vector<DWORD> full;
        std::vector<DWORD> long_;
        OrlendaError outcome;
        size_t full_calls;
        size_t long_calls;
    } cases[] = {
        {"no full name", {0}, {}, FullNameStatic, 1, 0},
        {"no full name in the enlarged buffer", {300, 0}, {}, FullNameDynamic, 2, 0},
        {"a long name of 261 units", {}, {261}, LongNameTooLong, 1, 1},
        {"a long name of 32767 units", {}, {32767}, LongNameTooLong, 1, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        full_calls.clear();
        long_calls.clear();
        full_script = c.full;
        long_script = c.long_;
        expect_failure(run({mexhost::make_char(u"Z:\\tmp")}), c.outcome);
        EXPECT_EQ(full_calls.size(), c.full_calls);
        EXPECT_EQ(long_calls.size(), c.long_calls);
        if (full_calls.size() == 2) {
            EXPECT_EQ(full_calls[1].capacity, 300u) << "the required count";
        }
    }
}

TEST_F(OrlendaScripted, TakesAnEmptyLongNameAsAMissingOne)
{
    long_script = {0};
    EXPECT_EQ(printable(row_of(run({mexhost::make_char(u"Z:\\tmp")}))), "");
}

// ---- full names longer than MAX_PATH ---------------------------------------------------------

// The stand-in makes the full name; the long-name step reports 260, the most it accepts, so the
// result shows the start of the enlarged buffer: prefix, then the full name.
TEST_F(OrlendaScripted, PrefixesAFullNameThatNeedsTheEnlargedBuffer)
{
    const std::u16string tail = repeat(u'a', 280);
    const std::u16string given_tail = repeat(u'A', 280);
    const struct {
        const char *title;
        std::u16string given;
        bool share_cwd; // the current directory is \\server\share\dir
        std::u16string handed;
        size_t offset;
    } cases[] = {
        {"UNC name", u"\\\\SERVER\\Share\\" + given_tail, false, u"\\\\?\\UNC\\server\\share\\" + tail, 6},
        {"UNC name with forward slashes", u"//SERVER/Share/" + given_tail, false,
         u"\\\\?\\\\\\server\\share\\" + tail, 4},
        {"drive name", u"C:\\DIR\\" + given_tail, false, u"\\\\?\\c:\\dir\\" + tail, 4},
        {"relative name against a share", given_tail, true, u"\\\\?\\\\\\server\\share\\dir\\" + tail, 4},
    };
    support::TempFolder folder("orlenda-share");
    const fs::path share = folder.path();
    fs::create_directories(share / "dir");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        full_calls.clear();
        long_calls.clear();
        long_script = {260};
        if (c.share_cwd) {
            ASSERT_TRUE(StandinMapShare(u"\\\\server\\share", share.c_str()));
            ASSERT_TRUE(SetCurrentDirectoryW(u"\\\\server\\share\\dir"));
        }
        mexhost::CallResult result = run({mexhost::make_char(c.given)});
        EXPECT_EQ(printable(row_of(result)), printable(c.handed.substr(0, 260)));
        EXPECT_EQ(result.allocations, 2u) << "the working copy and the enlarged buffer";

        ASSERT_EQ(full_calls.size(), 2u);
        ASSERT_EQ(long_calls.size(), 1u);
        const size_t full_units = c.handed.size() - c.offset;
        EXPECT_EQ(full_calls[0].answer, full_units + 1) << "the required count";
        EXPECT_EQ(full_calls[1].capacity, full_units + 1);
        EXPECT_EQ(full_calls[1].answer, full_units);
        EXPECT_EQ(full_calls[1].buffer, long_calls[0].destination + c.offset);
        EXPECT_EQ(long_calls[0].source_at, long_calls[0].destination);
        EXPECT_EQ(long_calls[0].capacity, 260u);
        EXPECT_EQ(printable(long_calls[0].source), printable(c.handed));
        StandinResetPaths();
        StandinSetFullPathHook(full_hook);
        StandinSetLongPathHook(long_hook);
    }
}

// The stand-in's own answer for a missing name with a long full name: empty, and the enlarged buffer
// freed.
TEST_F(OrlendaScripted, FreesTheEnlargedBufferOnSuccess)
{
    mexhost::CallResult result = run({mexhost::make_char(u"Z:\\tmp\\" + repeat(u'm', 300))});
    EXPECT_EQ(printable(row_of(result)), "");
    EXPECT_EQ(result.allocations, 2u);
    ASSERT_EQ(long_calls.size(), 1u);
    EXPECT_EQ(printable(long_calls[0].source.substr(0, 11)), "\\\\?\\z:\\tmp\\");
}
