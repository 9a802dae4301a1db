/* Control calls of the kernel32 stand-in: which host folders the Windows names refer to, the current
 * directory, and scripted answers for tests. Only tests and tools use these; plug-ins see <windows.h>.
 *
 * Volume model
 *   A drive letter or a UNC share ("\\server\share") maps to a host folder. Start state (and the state
 *   StandinResetPaths returns to):
 *     - Z: maps to "/", so every host path has a Windows name ("/home/u/a.txt" is "Z:\home\u\a.txt").
 *     - WIN32_STANDIN_DRIVES="C=/tmp/c;D=/srv/d" maps more letters, ';'-separated LETTER=FOLDER pairs;
 *       "Z=" (empty folder) unmaps Z:.
 *     - WIN32_STANDIN_SHARES="\\srv\share=/tmp/s;\\other\x=/srv/x" maps shares the same way (the server and
 *       share names compare without regard to case). A server with no mapped share answers as
 *       unreachable (ERROR_BAD_NETPATH); a known server with an unknown share gives ERROR_BAD_NET_NAME.
 *     - WIN32_STANDIN_CWD="C:\work" sets the start current directory (it must exist); otherwise it is the
 *       process's current folder expressed through the map (the mapping with the longest matching host
 *       folder wins), or the root of the first mapped drive when no mapping covers it.
 *   Per-drive directories (the "=X:" variables Windows keeps) start empty; SetCurrentDirectoryW records
 *   the new directory for its drive, and StandinSetDriveDirectory sets one directly. "X:name" uses the
 *   current directory when X is its drive, else X's per-drive directory, else "X:\".
 *
 * Behaviour chosen where Windows versions differ
 *   - DOS device names as Windows 11: a relative name that is exactly CON, PRN, AUX, NUL, COM1-9, LPT1-9,
 *     COM/LPT with superscript 1-3, CONIN$ or CONOUT$ (any case, trailing dots and spaces ignored) becomes
 *     "\\.\NAME"; NUL is also a device as the last component of any drive, rooted or relative path.
 *   - "dir..": a non-final component keeps both dots (Vista and later); one trailing dot is dropped.
 *   - GetFullPathNameW leaves the buffer untouched when it is too small; a null buffer with a non-zero
 *     capacity fails with ERROR_INVALID_PARAMETER (Windows would fault). A name of 32,767 units or more,
 *     or a result that long, fails with ERROR_FILENAME_EXCED_RANGE; a name of spaces only with
 *     ERROR_INVALID_NAME.
 *
 * Short (8.3) names
 *   Host folders store none, so they are derived per folder, the way NTFS makes them: a name that already
 *   is a legal 8.3 name (ASCII letters of either case, digits and ! # $ % & ' ( ) - @ ^ _ ` { } ~; base of
 *   1-8, optional extension of 1-3) has none. For the others, in order of their on-disk bytes: drop spaces,
 *   dots but the last, non-ASCII and other characters 8.3 forbids, '+' becomes '_', upper-case; then
 *   BASE6~1.EXT to BASE6~4.EXT, skipping names already taken in the folder; then the checksum form
 *   B2HHHH~1.EXT (first 2 base characters and 4 hex digits of the name's checksum: FNV-1a over the
 *   upper-cased UTF-16 name, the two 16-bit halves xor-ed), counting ~2, ~3... on collision. A base of two
 *   characters or fewer takes the checksum form at once.
 *
 * Name matching
 *   Lookups ignore case for ASCII, Latin-1, Latin Extended-A, basic Greek and basic Cyrillic letters
 *   (simple upper-case mapping); other characters compare exactly. An exact match wins; among entries
 *   differing only in case, the one with the smallest on-disk bytes; an entry's own name before another
 *   entry's short name. Host names that are not UTF-8 show each bad byte as the unit 0xDC00 + byte, and such
 *   units map back to the byte.
 */
#ifndef STANDIN_PATHS_H
#define STANDIN_PATHS_H

#include <windows.h>

#ifdef __cplusplus
#define STANDIN_API extern "C" __attribute__((visibility("default")))
#else
#define STANDIN_API extern __attribute__((visibility("default")))
#endif

/* Maps drive letter ('A'..'Z', either case) to a host folder; NULL or "" unmaps. FALSE for a bad letter. */
STANDIN_API BOOL StandinMapDrive(WCHAR letter, const char *hostFolder);
/* Maps "\\server\share" to a host folder; NULL unmaps. FALSE when uncRoot is not of that form. */
STANDIN_API BOOL StandinMapShare(LPCWSTR uncRoot, const char *hostFolder);
/* Sets the per-drive directory of a letter (Windows' "=X:" variable), a full Windows name on that drive;
 * NULL clears it. Not checked for existence, as on Windows. */
STANDIN_API BOOL StandinSetDriveDirectory(WCHAR letter, LPCWSTR directory);
/* Back to the start state described above: mappings from the environment, current directory, per-drive
 * directories cleared, hooks removed, folder indexes dropped. */
STANDIN_API void StandinResetPaths(void);

/* Scripted answers: while set, the function calls the hook instead with the same arguments; the hook's
 * return value and last error are what the caller sees. NULL removes it. */
typedef DWORD (*StandinFullPathHook)(LPCWSTR name, DWORD capacity, LPWSTR buffer, LPWSTR *filePart);
typedef DWORD (*StandinLongPathHook)(LPCWSTR source, LPWSTR destination, DWORD capacity);
STANDIN_API void StandinSetFullPathHook(StandinFullPathHook hook);
STANDIN_API void StandinSetLongPathHook(StandinLongPathHook hook);

/* Windows name of a host path (absolute, or relative to the process's current folder), spelled as on
 * disk; Win32 return convention (units written, or required units with the terminator, or 0 with
 * ERROR_PATH_NOT_FOUND when no mapping covers it). */
STANDIN_API DWORD StandinWindowsName(const char *hostPath, LPWSTR buffer, DWORD capacity);
/* Host path of a Windows name: made full as GetFullPathNameW does, then each existing component
 * resolved as GetLongPathNameW would (case, short names); components past the first missing one are
 * kept as given. Returns bytes written without the terminator, or the required size with it, or 0 with
 * the last error set. */
STANDIN_API DWORD StandinHostName(LPCWSTR windowsName, char *buffer, DWORD capacity);

#endif
