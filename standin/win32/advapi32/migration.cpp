// Moves a version 1 store, whose names are the callers' bytes compared by ASCII case only, to names
// kept as Unicode and compared through the shared upcase rule. Two names the earlier store held apart
// may now be one ("Caf\xE9" from tessaly and "CAFÉ" from reg): the key made first takes the other's
// values and subkeys, merged the same way level by level, and of two values that became one name the
// one made first stays.
#include <initializer_list>
#include <string>
#include <unordered_map>

#include "names.h"
#include "store.h"

namespace {

// A prepared statement finalized at the end of the scope.
struct Prepared {
    sqlite3_stmt *st = nullptr;
    Prepared(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &st, nullptr); }
    ~Prepared() { sqlite3_finalize(st); }
    Prepared(const Prepared &) = delete;
    Prepared &operator=(const Prepared &) = delete;
};

} // namespace

static std::string text_column(sqlite3_stmt *st, int column)
{
    const char *text = (const char *)sqlite3_column_blob(st, column);
    return std::string(text != nullptr ? text : "", (size_t)sqlite3_column_bytes(st, column));
}

static void bind(sqlite3_stmt *st, int index, const std::string &text)
{
    sqlite3_bind_text(st, index, text.c_str(), (int)text.size(), SQLITE_TRANSIENT);
}

int migrate_names_to_unicode(sqlite3 *db)
{
    Prepared oldKeys(db, "SELECT id, parent, name FROM keys_v1 ORDER BY id");
    Prepared find(db, "SELECT id FROM keys WHERE parent IS ?1 AND fold = ?2");
    Prepared insertKey(db, "INSERT INTO keys(id, parent, name, fold) VALUES (?1, ?2, ?3, ?4)");
    Prepared oldValues(db, "SELECT key, name, type, data FROM vals_v1 ORDER BY rowid");
    Prepared insertValue(db, "INSERT OR IGNORE INTO vals(key, name, fold, type, data) "
                             "VALUES (?1, ?2, ?3, ?4, ?5)");
    for (const Prepared *prepared : {&oldKeys, &find, &insertKey, &oldValues, &insertValue}) {
        if (prepared->st == nullptr) return sqlite3_errcode(db);
    }

    // Each earlier key's id in the new table: its own, or the id of the key it was merged into. A
    // parent always comes before its children (ids only grow), so its new id is known by then.
    std::unordered_map<sqlite3_int64, sqlite3_int64> newId;
    int rc;
    while ((rc = sqlite3_step(oldKeys.st)) == SQLITE_ROW) {
        sqlite3_int64 id = sqlite3_column_int64(oldKeys.st, 0);
        bool root = sqlite3_column_type(oldKeys.st, 1) == SQLITE_NULL;
        sqlite3_int64 parent = root ? 0 : newId[sqlite3_column_int64(oldKeys.st, 1)];
        std::u16string units = regnames::from_earlier_store(text_column(oldKeys.st, 2));
        std::string fold = regnames::folded(units);

        sqlite3_reset(find.st);
        if (root)
            sqlite3_bind_null(find.st, 1);
        else
            sqlite3_bind_int64(find.st, 1, parent);
        bind(find.st, 2, fold);
        if (sqlite3_step(find.st) == SQLITE_ROW) {
            newId[id] = sqlite3_column_int64(find.st, 0);
            continue;
        }
        sqlite3_reset(insertKey.st);
        sqlite3_bind_int64(insertKey.st, 1, id);
        if (root)
            sqlite3_bind_null(insertKey.st, 2);
        else
            sqlite3_bind_int64(insertKey.st, 2, parent);
        bind(insertKey.st, 3, regnames::stored(units));
        bind(insertKey.st, 4, fold);
        if (sqlite3_step(insertKey.st) != SQLITE_DONE) return sqlite3_errcode(db);
        newId[id] = id;
    }
    if (rc != SQLITE_DONE) return rc;

    while ((rc = sqlite3_step(oldValues.st)) == SQLITE_ROW) {
        std::u16string units = regnames::from_earlier_store(text_column(oldValues.st, 1));
        sqlite3_reset(insertValue.st);
        sqlite3_bind_int64(insertValue.st, 1, newId[sqlite3_column_int64(oldValues.st, 0)]);
        bind(insertValue.st, 2, regnames::stored(units));
        bind(insertValue.st, 3, regnames::folded(units));
        sqlite3_bind_value(insertValue.st, 4, sqlite3_column_value(oldValues.st, 2));
        sqlite3_bind_value(insertValue.st, 5, sqlite3_column_value(oldValues.st, 3));
        if (sqlite3_step(insertValue.st) != SQLITE_DONE) return sqlite3_errcode(db);
    }
    if (rc != SQLITE_DONE) return rc;

    // Ids of keys deleted before the move stay given out.
    return sqlite3_exec(db,
                        "UPDATE sqlite_sequence SET seq = max(seq, (SELECT seq FROM sqlite_sequence "
                        "WHERE name = 'keys_v1')) WHERE name = 'keys';"
                        "DROP TABLE vals_v1; DROP TABLE keys_v1;",
                        nullptr, nullptr, nullptr);
}
