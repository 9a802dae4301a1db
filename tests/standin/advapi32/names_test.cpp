// Key and value names beyond ASCII: one name whatever the case of its letters, through the A
// functions (byte 0xNN as U+00NN) and the W functions alike; names that only look alike stay two.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store_fixture.h"

namespace {

using NamesTest = StoreTest;

const DWORD kOne = 1, kTwo = 2;

} // namespace

// The value names of a key through the A functions, each with its DWORD.
static std::vector<std::string> ValuesA(HKEY key)
{
    std::vector<std::string> values;
    char name[600];
    DWORD size = sizeof name, data = 0, bytes = sizeof data;
    for (DWORD i = 0;
         RegEnumValueA(key, i, name, &size, nullptr, nullptr, (BYTE *)&data, &bytes) == ERROR_SUCCESS;
         ++i, size = sizeof name, bytes = sizeof data) {
        values.push_back(std::string(name, size) + "=" + std::to_string(data));
    }
    return values;
}

static std::vector<std::u16string> SubkeysW(HKEY key)
{
    std::vector<std::u16string> names;
    WCHAR name[300];
    DWORD size = 300;
    for (DWORD i = 0; RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = 300) {
        names.emplace_back(name, size);
    }
    return names;
}

TEST_F(NamesTest, AnsiNamesDifferingOnlyInCaseAreOneName)
{
    struct Case {
        const char *first;
        const char *second;
        bool same;
    };
    const Case cases[] = {
        {"Caf\xE9", "CAF\xC9", true},     // é, É
        {"\xE6ther", "\xC6THER", true},   // æ, Æ
        {"\xFE\xF0r", "\xDE\xD0R", true}, // þ ð, Þ Ð
        {"\xF7", "\xD7", false},          // ÷ and × lie 0x20 apart but are no case pair
        {"\xFF", "\xDF", false},          // nor are ÿ and ß
        {"Stra\xDF"
         "e",
         "STRASSE", false}, // ß has no capital of one unit
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.first);
        std::string parent = std::string("Names\\") + c.first;
        HKEY key, again;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, parent.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, &disposition),
                  ERROR_SUCCESS);
        EXPECT_EQ(disposition, (DWORD)REG_CREATED_NEW_KEY);
        ASSERT_EQ(RegSetValueExA(key, c.first, 0, REG_DWORD, (const BYTE *)&kOne, 4), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, c.second, 0, REG_DWORD, (const BYTE *)&kTwo, 4), ERROR_SUCCESS);
        std::vector<std::string> values{std::string(c.first) + "=2"};
        if (!c.same) values = {std::string(c.first) + "=1", std::string(c.second) + "=2"};
        EXPECT_EQ(ValuesA(key), values);
        RegCloseKey(key);

        std::string other = std::string("Names\\") + c.second;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, other.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &again, &disposition),
                  ERROR_SUCCESS);
        EXPECT_EQ(disposition, c.same ? (DWORD)REG_OPENED_EXISTING_KEY : (DWORD)REG_CREATED_NEW_KEY);
        RegCloseKey(again);
        ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Names"), ERROR_SUCCESS);
    }
    EXPECT_EQ(StandinRegOpenHandles(), 0);
}

TEST_F(NamesTest, WideNamesDifferingOnlyInCaseAreOneName)
{
    struct Case {
        const char16_t *first;
        const char16_t *second;
        bool same;
    };
    const Case cases[] = {
        {u"\u03C9mega", u"\u03A9MEGA", true},  // ω, Ω
        {u"\u0436", u"\u0416", true},          // ж, Ж
        {u"\u00FF", u"\u0178", true},          // ÿ, whose capital Ÿ lies outside the A functions' bytes
        {u"\u01C6", u"\u01C4", true},          // dž, DŽ
        {u"\u00DF", u"SS", false},             // ß
        {u"\U00010428", u"\U00010400", false}, // beyond the BMP units are compared as they stand
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.second, c.second + std::char_traits<char16_t>::length(c.second)));
        HKEY names, key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Names", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &names,
                                  nullptr),
                  ERROR_SUCCESS);
        DWORD disposition = 0;
        for (const char16_t *name : {c.first, c.second}) {
            ASSERT_EQ(
                RegCreateKeyExW(names, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
                ERROR_SUCCESS);
            ASSERT_EQ(RegSetValueExW(names, name, 0, REG_DWORD, (const BYTE *)&kOne, 4), ERROR_SUCCESS);
            RegCloseKey(key);
        }
        EXPECT_EQ(disposition, c.same ? (DWORD)REG_OPENED_EXISTING_KEY : (DWORD)REG_CREATED_NEW_KEY);
        std::vector<std::u16string> subkeys{c.first};
        if (!c.same) subkeys.push_back(c.second);
        EXPECT_EQ(SubkeysW(names), subkeys);
        DWORD values = 0;
        WCHAR name[8];
        DWORD size = 8;
        while (RegEnumValueW(names, values, name, &size, nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS) {
            ++values;
            size = 8;
        }
        EXPECT_EQ(values, c.same ? 1u : 2u);
        RegCloseKey(names);
        ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Names"), ERROR_SUCCESS);
    }
    EXPECT_EQ(StandinRegOpenHandles(), 0);
}

TEST_F(NamesTest, AnsiBytesAreTheFirst256Units)
{
    ASSERT_EQ(MakeKey("Caf\xE9\\x\xFF"), ERROR_SUCCESS);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"CAF\u00C9\\X\u0178", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(SubkeysW(HKEY_CURRENT_USER), std::vector<std::u16string>{u"Caf\u00E9"});

    // A unit with no byte reads as '?' through the A functions, with the length of its units.
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"\u03A9\u0416", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"\u00E9\u03C9", 0, REG_DWORD, (const BYTE *)&kTwo, 4), ERROR_SUCCESS);
    EXPECT_EQ(ValuesA(key), std::vector<std::string>{"\xE9?=2"});
    RegCloseKey(key);
    char name[8] = "#######";
    DWORD size = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(HKEY_CURRENT_USER, 1, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);
    EXPECT_STREQ(name, "??");
}

TEST_F(NamesTest, LengthLimitsCountUnitsNotBytes)
{
    struct Case {
        const char *what;
        std::u16string key;
        std::u16string value;
        LONG status;
    };
    const Case cases[] = {
        {"256 two-byte units", std::u16string(256, u'\u03C9'), u"v", ERROR_SUCCESS},
        {"257 two-byte units", std::u16string(257, u'\u03C9'), u"v", ERROR_INVALID_PARAMETER},
        {"value name of 16,383", u"k", std::u16string(16383, u'\u0436'), ERROR_SUCCESS},
        {"value name of 16,384", u"k", std::u16string(16384, u'\u0436'), ERROR_INVALID_PARAMETER},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        HKEY key = nullptr;
        LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, c.key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                      nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS) {
            status = RegSetValueExW(key, c.value.c_str(), 0, REG_DWORD, (const BYTE *)&kOne, 4);
            RegCloseKey(key);
        }
        EXPECT_EQ(status, c.status);
    }
    // Through the A functions a byte is a unit, whatever its UTF-8 length in the store.
    ASSERT_EQ(MakeKey(std::string(256, '\xE9').c_str()), ERROR_SUCCESS);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, std::u16string(256, u'\u00C9').c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
}
