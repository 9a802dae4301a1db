# The peer of tessaly_bench: the upsert one tessaly call makes on an opened key (write transaction,
# key check, insert-or-update of the value, commit), through Python's sqlite3 on the same store file.
# Usage: upsert_peer.py STORE KEY CALLS REPEAT CHANGING, with KEY an existing key below
# HKEY_CURRENT_USER and CHANGING 1 for a new value on every call; prints the best run's seconds.
import sqlite3
import struct
import sys
import time

store, path = sys.argv[1], sys.argv[2]
calls, repeat, changing = int(sys.argv[3]), int(sys.argv[4]), sys.argv[5] == "1"
db = sqlite3.connect(store, isolation_level=None, timeout=30)
db.execute("PRAGMA journal_mode = WAL")
db.execute("PRAGMA synchronous = NORMAL")
db.execute("PRAGMA foreign_keys = ON")
upsert = ("INSERT INTO vals(key, name, fold, type, data) VALUES (?, ?, ?, 4, ?) "
          "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data")

key = 2  # HKEY_CURRENT_USER
for part in path.split("\\"):
    key = db.execute("SELECT id FROM keys WHERE parent = ? AND fold = ?", (key, part.upper())).fetchone()[0]
# ASCII names, so upper() gives the store's folded form.
rows = [(key, "P%d" % i, "P%d" % i) for i in range(1000)]

best = float("inf")
value = 0
for run in range(repeat):
    start = time.perf_counter()
    for i in range(calls):
        if changing:
            value += 1
        db.execute("BEGIN IMMEDIATE")
        if db.execute("SELECT 1 FROM keys WHERE id = ?", (key,)).fetchone() is None:
            sys.exit("the key is gone")
        db.execute(upsert, rows[i % 1000] + (struct.pack("<I", value & 0xFFFFFFFF),))
        db.execute("COMMIT")
    best = min(best, time.perf_counter() - start)
print("%.6f" % best)
