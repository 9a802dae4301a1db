// A store written before names were kept as Unicode opens with its keys and values intact: made
// here with that version's schema and the bytes its callers stored, then opened by the registry.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "store_fixture.h"

namespace {

// The schema as the earlier version created it (user_version 1): names as the callers' bytes,
// compared with SQLite's ASCII-only NOCASE.
const char kEarlierSchema[] = R"sql(
PRAGMA journal_mode = WAL;
PRAGMA foreign_keys = ON;
CREATE TABLE keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL COLLATE NOCASE,
    UNIQUE(parent, name));
CREATE TABLE vals(
    key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key, name));
INSERT INTO keys(id, parent, name) VALUES
    (1, NULL, 'HKEY_LOCAL_MACHINE'),
    (2, NULL, 'HKEY_CURRENT_USER'),
    (3, NULL, 'HKEY_USERS'),
    (4, 1, 'SOFTWARE'),
    (5, 4, 'Classes'),
    (6, 1, 'SYSTEM'),
    (7, 6, 'CurrentControlSet'),
    (8, 7, 'Hardware Profiles'),
    (9, 8, 'Current');
PRAGMA user_version = 1;
)sql";

// What tessaly (through the host's one-byte mapping) and reg (from a UTF-8 terminal) left in such
// a store: "Café" twice, once as the byte E9 and once as UTF-8, each with a value and a subkey.
const char kEarlierContents[] = "INSERT INTO keys(id, parent, name) VALUES"
                                " (10, 2, 'Software'),"
                                " (11, 10, 'Caf\xE9')," // tessaly: 'Café'
                                " (12, 11, 'Sub'),"
                                " (13, 10, 'CAF\xC3\x89')," // reg add HKCU\\Software\\CAFÉ
                                " (14, 13, 'SUB'),"
                                " (15, 13, 'Other'),"
                                " (16, 10, '\xCE\xA9mega')," // reg add HKCU\\Software\\Ωmega
                                " (17, 10, 'Deleted');"
                                "DELETE FROM keys WHERE id = 17;"
                                "INSERT INTO vals(key, name, type, data) VALUES"
                                " (11, 'Gr\xF6\xDF"
                                "e', 4, x'01000000'),"
                                " (13, 'GR\xC3\x96\xC3\x9F"
                                "E', 4, x'02000000'),"
                                " (13, 'Only', 4, x'03000000'),"
                                " (12, 'A', 4, x'04000000'),"
                                " (14, 'B', 4, x'05000000'),"
                                " (16, '', 1, x'6F6D65676100');";

class MigrationTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp(); // the store file is opened by the first registry call
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(StorePath().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, kEarlierSchema, nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        ASSERT_EQ(sqlite3_exec(db, kEarlierContents, nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_close(db);
    }

    // What the store file answers, read past the registry functions ("" when it gives no row).
    std::string Ask(const char *sql)
    {
        sqlite3 *db = nullptr;
        std::string answer;
        sqlite3_stmt *st = nullptr;
        if (sqlite3_open(StorePath().c_str(), &db) == SQLITE_OK &&
            sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
            answer = (const char *)sqlite3_column_text(st, 0);
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        return answer;
    }

    static std::vector<std::string> Subkeys(const char *path)
    {
        std::vector<std::string> names;
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return {"(missing)"};
        char name[300];
        DWORD size = sizeof name;
        for (DWORD i = 0;
             RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             ++i, size = sizeof name) {
            names.emplace_back(name, size);
        }
        RegCloseKey(key);
        return names;
    }

    // Each value of HKCU\path as "name=first data byte", in enumeration order.
    static std::vector<std::string> Values(const char *path)
    {
        std::vector<std::string> values;
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return {"(missing)"};
        char name[300];
        BYTE data[16];
        DWORD size = sizeof name, bytes = sizeof data;
        for (DWORD i = 0; RegEnumValueA(key, i, name, &size, nullptr, nullptr, data, &bytes) == ERROR_SUCCESS;
             ++i, size = sizeof name, bytes = sizeof data) {
            values.push_back(std::string(name, size) + "=" + std::to_string(data[0]));
        }
        RegCloseKey(key);
        return values;
    }
};

} // namespace

TEST_F(MigrationTest, KeysAndValuesAreFoundByEveryCaseOfTheirNames)
{
    // The two spellings of one name became one key: the first made keeps its spelling, takes the
    // other's subkeys and values, and keeps its own value where both had one.
    EXPECT_EQ(Subkeys("Software"), (std::vector<std::string>{"Caf\xE9", "?mega"}));
    EXPECT_EQ(Subkeys("Software\\CAF\xC9"), (std::vector<std::string>{"Sub", "Other"}));
    EXPECT_EQ(Values("software\\caf\xC9"), (std::vector<std::string>{"Gr\xF6\xDF"
                                                                     "e=1",
                                                                     "Only=3"}));
    EXPECT_EQ(Values("Software\\Caf\xE9\\sub"), (std::vector<std::string>{"A=4", "B=5"}));
    // The A functions show U+03A9 as '?', which names another key.
    EXPECT_EQ(Values("Software\\?mega"), (std::vector<std::string>{"(missing)"}));

    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\\u03C9MEGA", 0, KEY_READ, &key), ERROR_SUCCESS);
    WCHAR name[16];
    DWORD size = 16;
    ASSERT_EQ(RegEnumKeyExW(HKEY_CURRENT_USER, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, size), u"Software");
    BYTE data[8];
    DWORD bytes = sizeof data;
    EXPECT_EQ(RegQueryValueExW(key, u"", nullptr, nullptr, data, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(std::string((const char *)data, bytes), std::string("omega", 6));
    RegCloseKey(key);

    EXPECT_EQ(Ask("PRAGMA user_version"), "2");
    EXPECT_EQ(StandinRegOpenHandles(), 0);
}

TEST_F(MigrationTest, IdsOfDeletedKeysAreNotGivenAgain)
{
    ASSERT_EQ(MakeKey("Software\\New"), ERROR_SUCCESS);
    EXPECT_EQ(Ask("SELECT id FROM keys WHERE name = 'New'"), "18");
    EXPECT_EQ(Ask("SELECT count(*) FROM keys"), "15");
}

TEST_F(MigrationTest, OpeningAgainChangesNothing)
{
    EXPECT_EQ(Subkeys("Software"), (std::vector<std::string>{"Caf\xE9", "?mega"}));
    UseStore(FALSE);
    EXPECT_EQ(Subkeys("Software"), (std::vector<std::string>{"Caf\xE9", "?mega"}));
    EXPECT_EQ(Ask("SELECT count(*) FROM keys"), "14");
    EXPECT_EQ(Ask("SELECT count(*) FROM vals"), "5");
    EXPECT_EQ(Ask("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(Ask("PRAGMA foreign_key_check"), "");
}
