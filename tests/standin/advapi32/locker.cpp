// registry_locker MODE STORE: holds a lock on a registry store file the way another program might,
// prints "locked" once it holds it, and keeps it until killed. Used by the busy-store tests.
//   exclusive  PRAGMA locking_mode=EXCLUSIVE and a write: no other connection may even read
//   rollback   the store switched to a rollback journal, then BEGIN EXCLUSIVE held
//   writer     BEGIN IMMEDIATE held: others read, but cannot write
#include <signal.h>
#include <sqlite3.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

namespace {

struct Mode {
    const char *name;
    const char *sql;
};

} // namespace

static const Mode kModes[] = {
    {"exclusive", "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; PRAGMA user_version = 1; COMMIT;"},
    {"rollback", "PRAGMA journal_mode = DELETE; BEGIN EXCLUSIVE; PRAGMA user_version = 1;"},
    {"writer", "BEGIN IMMEDIATE; PRAGMA user_version = 1;"},
};

int main(int argc, char **argv)
{
    const Mode *mode = nullptr;
    for (const Mode &candidate : kModes) {
        if (argc == 3 && strcmp(argv[1], candidate.name) == 0) mode = &candidate;
    }
    if (mode == nullptr) {
        fputs("usage: registry_locker exclusive|rollback|writer STORE\n", stderr);
        return 2;
    }
    sqlite3 *db = nullptr;
    char *error = nullptr;
    if (sqlite3_open(argv[2], &db) != SQLITE_OK || sqlite3_busy_timeout(db, 10000) != SQLITE_OK ||
        sqlite3_exec(db, mode->sql, nullptr, nullptr, &error) != SQLITE_OK) {
        fprintf(stderr, "registry_locker: %s\n", error != nullptr ? error : sqlite3_errmsg(db));
        return 1;
    }
    if (write(1, "locked\n", 7) != 7) return 1;
    for (;;) pause();
}
