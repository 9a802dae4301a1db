// Orlenda through the stand-in host, loaded from its built file, against a temporary tree.
// Portable: builds against the Win32 stand-in here and against the real path API with MinGW.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orlenda_call.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

using WString = std::basic_string<WCHAR>;

using support::lower_ascii;
using support::upper_ascii;

} // namespace

static WString to_wide(const std::u16string &units) { return WString(units.begin(), units.end()); }

// One platform call with the usual grow-and-retry, so an expectation never depends on MAX_PATH.
template <typename Call> static std::u16string ask_platform(Call call)
{
    std::vector<WCHAR> buffer(MAX_PATH);
    DWORD n = call(buffer.data(), (DWORD)buffer.size());
    if (n >= buffer.size()) {
        buffer.resize(n + 1);
        n = call(buffer.data(), (DWORD)buffer.size());
    }
    EXPECT_NE(n, 0u) << "the platform refused a fixture name";
    return std::u16string(buffer.begin(), buffer.begin() + n);
}

static std::u16string full_name(const std::u16string &name)
{
    WString wide = to_wide(name);
    return ask_platform([&](WCHAR *buffer, DWORD capacity) {
        return GetFullPathNameW(wide.c_str(), capacity, buffer, NULL);
    });
}

static std::u16string long_name(const std::u16string &name)
{
    WString wide = to_wide(name);
    return ask_platform(
        [&](WCHAR *buffer, DWORD capacity) { return GetLongPathNameW(wide.c_str(), buffer, capacity); });
}

static std::u16string short_name(const std::u16string &name)
{
    WString wide = to_wide(name);
    return ask_platform(
        [&](WCHAR *buffer, DWORD capacity) { return GetShortPathNameW(wide.c_str(), buffer, capacity); });
}

static std::u16string last_component(const std::u16string &name)
{
    return name.substr(name.find_last_of(u"\\/") + 1);
}

// The Windows name of a host folder: the path itself on Windows; through the stand-in's default
// Z: drive, which maps to "/", elsewhere.
static std::u16string windows_name(const fs::path &folder)
{
#ifdef _WIN32
    return folder.u16string();
#else
    std::u16string name = u"Z:" + folder.generic_u16string();
    for (char16_t &unit : name)
        if (unit == u'/') unit = u'\\';
    return name;
#endif
}

// Creating the deepest fixture names goes past MAX_PATH on Windows.
static fs::path creatable(const fs::path &path)
{
#ifdef _WIN32
    return fs::path(L"\\\\?\\" + path.wstring());
#else
    return path;
#endif
}

static void make_file(const fs::path &path)
{
    std::ofstream(creatable(path)) << "x";
    ASSERT_TRUE(fs::exists(creatable(path))) << path;
}

static std::u16string repeat(const std::u16string &part, size_t times)
{
    std::u16string out;
    while (times-- > 0) out += part;
    return out;
}

static void replace_all(std::u16string &text, const std::u16string &token, const std::u16string &value)
{
    for (size_t at = text.find(token); at != std::u16string::npos; at = text.find(token, at + value.size()))
        text.replace(at, token.size(), value);
}

// ---- fixture --------------------------------------------------------------------------------

namespace {

// A temporary tree with mixed-case, 8.3 and long names, made the current directory through the
// platform. Expectations are the tree's own names below the root, after the root's Windows name as
// the platform spells it. The root's own name is long and has capitals, which a relative name's
// result keeps only if the plug-in lowers nothing but the given part.
class Orlenda : public OrlendaCall {
protected:
    static void SetUpTestSuite()
    {
        OrlendaCall::SetUpTestSuite();

        folder_ = std::make_unique<support::TempFolder>("Orlenda Fixture");
        ASSERT_TRUE(folder_->made());
        host_root_ = folder_->path();
        root_ = windows_name(host_root_);

        make_file(host_root_ / "MixedCase.TXT");
        make_file(host_root_ / "Short.Txt");
        fs::create_directory(host_root_ / "Long Folder Name");
        make_file(host_root_ / "Long Folder Name" / "Inner.Doc");
        fs::create_directory(host_root_ / "SubDir");
        make_file(host_root_ / "SubDir" / "Inner.Doc");
        make_file(host_root_ / fs::path(u"\u00C4rgerliche Datei.txt"));

        cwd_ = long_name(full_name(root_));
        lowered_ = long_name(full_name(lower_ascii(root_)));
        short_folder_ = last_component(short_name(root_ + u"\\Long Folder Name"));

        // Existing names whose full names take exactly 259 and 260 units, and one far longer.
        ASSERT_LT(cwd_.size(), 200u) << "the temporary folder's name is too long for this fixture";
        fit_name_ = std::u16string(258 - cwd_.size(), u'f');
        over_name_ = std::u16string(259 - cwd_.size(), u'o');
        make_file(host_root_ / fs::path(fit_name_));
        make_file(host_root_ / fs::path(over_name_));
        deep_name_ = std::u16string(150, u'd') + u"\\" + std::u16string(150, u'e');
        fs::create_directories(creatable(host_root_ / fs::path(std::u16string(150, u'd'))));
        make_file(host_root_ / fs::path(std::u16string(150, u'd')) / fs::path(std::u16string(150, u'e')));
    }

    static void TearDownTestSuite()
    {
        folder_.reset();
        OrlendaCall::TearDownTestSuite();
    }

    void SetUp() override { ASSERT_TRUE(SetCurrentDirectoryW(to_wide(root_).c_str())); }

    // Fills in "<cwd>", "<lowered>" (expectations) and "<ROOT>", "<short>" (given names).
    static std::u16string expand(std::u16string text)
    {
        replace_all(text, u"<cwd>", cwd_);
        replace_all(text, u"<lowered>", lowered_);
        replace_all(text, u"<ROOT>", upper_ascii(root_));
        replace_all(text, u"<short>", short_folder_);
        return text;
    }

    static std::unique_ptr<support::TempFolder> folder_;
    static fs::path host_root_;
    static std::u16string root_;         // the root's Windows name, as made the current directory
    static std::u16string cwd_;          // its full long name: the current folder's part of a result
    static std::u16string lowered_;      // the full long name of the root given in lower case
    static std::u16string short_folder_; // the platform's short name of "Long Folder Name"
    static std::u16string fit_name_;     // a file whose full name has 259 units
    static std::u16string over_name_;    // a file whose full name has 260 units
    static std::u16string deep_name_;    // a file whose full name is far longer than 260 units
};

std::unique_ptr<support::TempFolder> Orlenda::folder_;
fs::path Orlenda::host_root_;
std::u16string Orlenda::root_;
std::u16string Orlenda::cwd_;
std::u16string Orlenda::lowered_;
std::u16string Orlenda::short_folder_;
std::u16string Orlenda::fit_name_;
std::u16string Orlenda::over_name_;
std::u16string Orlenda::deep_name_;

// ---- one name --------------------------------------------------------------------------------

struct NameCase {
    const char *title;
    std::u16string given;    // "<ROOT>": the root's Windows name in capitals; "<short>": a short name
    std::u16string expected; // "<cwd>", "<lowered>" as above; empty: a 1 x 0 row
};

// An unset element (no array) is written as std::nullopt.
using Element = std::optional<std::u16string>;

} // namespace

TEST_F(Orlenda, ConvertsOneName)
{
    const NameCase cases[] = {
        // Case: capitals are lowered before the platform sees them; it restores 8.3 names only.
        {"8.3 name given in capitals gets the disk's case", u"SHORT.TXT", u"<cwd>\\Short.Txt"},
        {"long name keeps the given case, lowered", u"MIXEDCASE.TXT", u"<cwd>\\mixedcase.txt"},
        {"long name as on disk is lowered too", u"MixedCase.TXT", u"<cwd>\\mixedcase.txt"},
        {"long folder in capitals, 8.3 file below", u"LONG FOLDER NAME\\INNER.DOC",
         u"<cwd>\\long folder name\\Inner.Doc"},
        {"U+00C4 is no ASCII capital", u"\u00C4RGERLICHE DATEI.TXT", u"<cwd>\\\u00C4rgerliche datei.txt"},
        {"absolute name in capitals: the root too is lowered", u"<ROOT>\\SUBDIR\\INNER.DOC",
         u"<lowered>\\SubDir\\Inner.Doc"},
        // Relative names: only the given part is lowered.
        {"8.3 folder", u"SUBDIR", u"<cwd>\\SubDir"},
        {"forward slashes", u"SubDir/Inner.Doc", u"<cwd>\\SubDir\\Inner.Doc"},
        {"dot and dot-dot", u"SUBDIR\\..\\.\\SHORT.TXT", u"<cwd>\\Short.Txt"},
        {"trailing separator kept", u"SUBDIR\\", u"<cwd>\\SubDir\\"},
        {"current folder", u".", u"<cwd>"},
        {"short name expanded", u"<short>\\INNER.DOC", u"<cwd>\\Long Folder Name\\Inner.Doc"},
        // Names the platform cannot expand.
        {"missing file", u"Missing.txt", u""},
        {"missing folder", u"NoSuchDir\\SHORT.TXT", u""},
        // Units.
        {"a 0 unit ends the name", u"SHORT.TXT\0SUBDIR"s, u"<cwd>\\Short.Txt"},
        {"8191 units are accepted", repeat(u".\\", 4091) + u"SHORT.TXT", u"<cwd>\\Short.Txt"},
    };
    for (const NameCase &c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(printable(row_of(run({mexhost::make_char(expand(c.given))}))),
                  printable(expand(c.expected)));
    }
}

// ---- shapes ----------------------------------------------------------------------------------

TEST_F(Orlenda, ReadsACharArrayOfAnyShapeAsOneName)
{
    const struct {
        const char *title;
        std::vector<int> dims;
        std::u16string units; // column-major
        std::u16string expected;
    } cases[] = {
        {"0 x 0: the current folder", {0, 0}, u"", u"<cwd>"},
        {"1 x 0: the current folder", {1, 0}, u"", u"<cwd>"},
        {"0 x 3: the current folder", {0, 3}, u"", u"<cwd>"},
        {"2 x 3, column by column", {2, 3}, u"SUBDIR", u"<cwd>\\SubDir"},
        {"1 x 3 x 2", {1, 3, 2}, u"SUBDIR", u"<cwd>\\SubDir"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(printable(row_of(run({mexhost::make_char(c.units, c.dims)}))),
                  printable(expand(c.expected)));
    }
}

TEST_F(Orlenda, StoresTheResultWhenNoOutputIsRequested)
{
    mexhost::CallOptions options;
    options.nlhs = 0;
    EXPECT_EQ(printable(row_of(run({mexhost::make_char(u"SHORT.TXT")}, options))),
              printable(expand(u"<cwd>\\Short.Txt")));
}

TEST_F(Orlenda, ConvertsEveryElementOfACellIntoACellOfItsShape)
{
    const struct {
        const char *title;
        std::vector<int> dims;
        std::vector<Element> elements; // column-major
        std::vector<std::u16string> expected;
    } cases[] = {
        {"0 x 0", {0, 0}, {}, {}},
        {"1 x 0", {1, 0}, {}, {}},
        {"1 x 1", {1, 1}, {u"MIXEDCASE.TXT"}, {u"<cwd>\\mixedcase.txt"}},
        {"2 x 2: a name, unset, empty, missing",
         {2, 2},
         {u"SHORT.TXT", std::nullopt, u"", u"Missing.txt"},
         {u"<cwd>\\Short.Txt", u"<cwd>", u"<cwd>", u""}},
        {"2 x 1 x 2",
         {2, 1, 2},
         {u"SUBDIR", u"SUBDIR\\INNER.DOC", std::nullopt, u"<short>"},
         {u"<cwd>\\SubDir", u"<cwd>\\SubDir\\Inner.Doc", u"<cwd>", u"<cwd>\\Long Folder Name"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<mxArray *> elements;
        for (const Element &element : c.elements)
            elements.push_back(element ? mexhost::make_char(expand(*element)) : nullptr);
        mexhost::CallResult result = run({mexhost::make_cell(c.dims, elements)});
        ASSERT_TRUE(result.ok) << result.identifier << ": " << result.message;
        EXPECT_EQ(result.leaked_blocks, 0u);
        EXPECT_EQ(result.leaked_arrays, 0u);
        ASSERT_EQ(result.outputs.size(), 1u);
        const mxArray *output = result.outputs[0];
        ASSERT_TRUE(mxIsCell(output));
        EXPECT_EQ(mexhost::dims(output), c.dims);
        ASSERT_EQ(mxGetNumberOfElements(output), c.expected.size());
        for (size_t i = 0; i < c.expected.size(); ++i) {
            SCOPED_TRACE("element " + std::to_string(i));
            const mxArray *element = mxGetCell_700(output, (int)i);
            ASSERT_NE(element, nullptr);
            EXPECT_EQ(printable(row(element)), printable(expand(c.expected[i])));
        }
    }
}

// ---- errors ----------------------------------------------------------------------------------

TEST_F(Orlenda, RefusesWhatItCannotConvert)
{
    const struct {
        const char *title;
        int nlhs;
        size_t fail_allocation; // 0: none
        std::function<std::vector<mxArray *>()> inputs;
        OrlendaError outcome;
    } cases[] = {
        // Arguments.
        {"no input", 1, 0, [] { return std::vector<mxArray *>{}; }, BadNInput},
        {"two inputs", 1, 0,
         [] {
             return std::vector<mxArray *>{mexhost::make_char(u"a"), mexhost::make_char(u"b")};
         },
         BadNInput},
        {"two outputs", 2, 0, [] { return std::vector<mxArray *>{mexhost::make_char(u"a")}; }, BadNInput},
        {"a number", 1, 0, [] { return std::vector<mxArray *>{mexhost::make_double({1})}; }, BadInputType},
        {"a struct", 1, 0, [] { return std::vector<mxArray *>{mexhost::make_struct()}; }, BadInputType},
        {"a cell holding a number", 1, 0,
         [] {
             return std::vector<mxArray *>{mexhost::make_cell({1, 1}, {mexhost::make_double({5})})};
         },
         BadInputType},
        // Sizes.
        {"8192 units", 1, 0, [] { return std::vector<mxArray *>{mexhost::make_char(repeat(u"a", 8192))}; },
         BadInputSize},
        {"8192 units in a cell", 1, 0,
         [] {
             return std::vector<mxArray *>{
                 mexhost::make_cell({1, 1}, {mexhost::make_char(repeat(u"a", 8192))})};
         },
         BadInputSize},
        {"2^31 units reported for a char", 1, 0,
         [] {
             mxArray *name = mexhost::make_char(u"SHORT.TXT");
             mexhost::set_reported_count(name, (size_t)1 << 31);
             return std::vector<mxArray *>{name};
         },
         BadInputSize},
        {"2^32 + 9 units reported for a char (9 when cut to 32 bits)", 1, 0,
         [] {
             mxArray *name = mexhost::make_char(u"SHORT.TXT");
             mexhost::set_reported_count(name, ((size_t)1 << 32) + 9);
             return std::vector<mxArray *>{name};
         },
         BadInputSize},
        {"2^31 elements reported for a cell", 1, 0,
         [] {
             mxArray *cell = mexhost::make_cell({1, 1}, {mexhost::make_char(u"SHORT.TXT")});
             mexhost::set_reported_count(cell, (size_t)1 << 31);
             return std::vector<mxArray *>{cell};
         },
         BadInputSize},
        {"2^31 units reported for a cell element", 1, 0,
         [] {
             mxArray *name = mexhost::make_char(u"SHORT.TXT");
             mexhost::set_reported_count(name, (size_t)1 << 31);
             return std::vector<mxArray *>{mexhost::make_cell({1, 1}, {name})};
         },
         BadInputSize},
        {"a name longer than 260 units in its long form", 1, 0,
         [] { return std::vector<mxArray *>{mexhost::make_char(deep_name_)}; }, LongNameTooLong},
        // The platform.
        {"a 0 unit first leaves an empty name", 1, 0,
         [] { return std::vector<mxArray *>{mexhost::make_char(u"\0SHORT.TXT"s)}; }, FullNameStatic},
        // Host memory.
        {"no memory for the name", 1, 1,
         [] { return std::vector<mxArray *>{mexhost::make_char(u"SHORT.TXT")}; }, NoMemoryName},
        {"no memory for the enlarged buffer", 1, 2,
         [] { return std::vector<mxArray *>{mexhost::make_char(repeat(u"x", 300))}; }, NoMemoryBuffer},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        mexhost::CallOptions options;
        options.nlhs = c.nlhs;
        options.fail_allocation = c.fail_allocation;
        mexhost::CallResult result = run(c.inputs(), options);
        expect_failure(result, c.outcome);
        const std::string &id = c.outcome.identifier;
        if (id == BadNInput.identifier || id == BadInputType.identifier || id == BadInputSize.identifier) {
            EXPECT_EQ(result.allocations, 0u) << "refused before any name was copied";
        }
    }
}

// The last element is converted first: the error of element 3 wins over the number at element 2.
TEST_F(Orlenda, ConvertsACellLastElementFirst)
{
    mexhost::CallResult result = run({mexhost::make_cell(
        {1, 3}, {mexhost::make_char(u"a"), mexhost::make_double({5}), mexhost::make_char(u"b")})});
    expect_failure(result, BadInputType);
    EXPECT_EQ(result.leaked_blocks, 0u);
    EXPECT_EQ(result.allocations, 1u) << "one name converted before the number";
    EXPECT_EQ(result.arrays_created, 2u) << "the output cell and one converted name";

    result = run({mexhost::make_cell(
        {1, 3}, {mexhost::make_char(u"a"), mexhost::make_double({5}), mexhost::make_char(u"\0"s)})});
    expect_failure(result, FullNameStatic);
}

// ---- host memory -----------------------------------------------------------------------------

TEST_F(Orlenda, AllocatesOnlyTheWorkingCopyWhileTheFullNameFits)
{
    const struct {
        const char *title;
        std::u16string given;
        size_t allocations;
        std::u16string expected;
    } cases[] = {
        {"a short name", u"SHORT.TXT", 1, u"<cwd>\\Short.Txt"},
        {"the current folder needs no copy", u"", 0, u"<cwd>"},
        {"a full name of 259 units", u"<fit>", 1, u"<cwd>\\<fit>"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        std::u16string given = c.given, expected = expand(c.expected);
        replace_all(given, u"<fit>", fit_name_);
        replace_all(expected, u"<fit>", fit_name_);
        mexhost::CallResult result = run({mexhost::make_char(given)});
        EXPECT_EQ(printable(row_of(result)), printable(expected));
        EXPECT_EQ(result.allocations, c.allocations);
        EXPECT_EQ(result.arrays_created, 1u);
    }

    // One unit more takes the enlarged buffer, whose long form no longer fits MAX_PATH.
    mexhost::CallResult result = run({mexhost::make_char(over_name_)});
    expect_failure(result, LongNameTooLong);
    EXPECT_EQ(result.allocations, 2u);
}
