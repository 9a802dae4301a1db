/* Control of the registry stand-in (advapi32 on POSIX): which store it uses, how many key handles
 * are open, and scripted failures for tests. Never part of a Windows build.
 *
 * A store is one SQLite database file holding every root's keys and values. Without a call to
 * StandinRegUseStore the stand-in opens, on first use in a process:
 *   - the file named by WIN32_STANDIN_REGISTRY, when that variable is set and not empty;
 *   - otherwise $XDG_DATA_HOME/win32-standin/registry.db, or ~/.local/share/win32-standin/registry.db
 *     when XDG_DATA_HOME is unset (the folder is created when missing).
 * WIN32_STANDIN_REGISTRY_ADMIN=1 opens the store as an administrator's: HKEY_LOCAL_MACHINE,
 * HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG and HKEY_USERS then grant write access. Any other value,
 * or none, is an ordinary user's store: those roots refuse write access (KEY_ALL_ACCESS included)
 * with ERROR_ACCESS_DENIED, and only HKEY_CURRENT_USER is writable.
 *
 * HKEY_CLASSES_ROOT is the key HKEY_LOCAL_MACHINE\SOFTWARE\Classes and HKEY_CURRENT_CONFIG the key
 * HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Hardware Profiles\Current of the same store.
 *
 * Several processes may use one store at once. Each call waits at most 30 s in all (setting up the
 * connection included) for locks other processes hold, then fails with ERROR_BUSY;
 * WIN32_STANDIN_REGISTRY_WAIT_MS=N sets another bound in milliseconds, for tests. A value reported
 * written (ERROR_SUCCESS) is committed: it survives the writing process being killed at any moment
 * (the store runs SQLite's write-ahead log with synchronous=NORMAL, so only a power loss may lose
 * the last writes, as Windows' lazily flushed registry may).
 *
 * Reads never create a store: below a missing file they see an empty one. A store file whose size
 * disagrees with its header is checked in full; a damaged one is never written (not even by a
 * checkpoint) and is kept as it is: calls fail with ERROR_REGISTRY_CORRUPT. When the store cannot
 * be opened or written (missing folder, read-only, disk full, damaged, busy) the failing call prints
 * one line naming the file and the cause on standard error, and the next call starts afresh, so a
 * store made writable again is written again. Keys nest at most 512 levels deep, counted as
 * Windows does from \REGISTRY (HKEY_CURRENT_USER is three levels down, HKEY_LOCAL_MACHINE two);
 * deeper ones give ERROR_FILENAME_EXCED_RANGE. */
#ifndef STANDIN_REGISTRY_H
#define STANDIN_REGISTRY_H

#include <windows.h>

/* Use the store at path (created if missing), as an administrator's or an ordinary user's store.
 * A NULL path goes back to the default store and administrator setting taken from the environment.
 * Handles opened on the previous store are closed. */
WINADVAPI void StandinRegUseStore(const char *path, BOOL administrator);

/* Handles opened by RegCreateKeyExA or RegOpenKeyExA and not yet closed (the predefined roots do not
 * count). */
WINADVAPI long StandinRegOpenHandles(void);

/* Scripted failure: the next call of the named registry function (such as "RegSetValueExA" or
 * "RegCreateKeyExA") returns status without doing anything; a create or open also sets its result
 * handle to NULL. A NULL function clears every scripted failure, as a change of store does. */
WINADVAPI void StandinRegFailNext(const char *function, LONG status);

#endif
