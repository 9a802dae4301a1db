/* Names of the Win32 error codes the stand-ins give, for tools that print a code: "2 ERROR_FILE_NOT_FOUND"
 * tells a reader more than "2". Only tools use this; plug-ins see <windows.h>. */
#ifndef STANDIN_ERRORS_H
#define STANDIN_ERRORS_H

#include <windows.h>

#define STANDIN_NAMED_ERROR(code)                                                                            \
    {                                                                                                        \
        code, #code                                                                                          \
    }

static const struct {
    DWORD code;
    const char *name;
} kStandinErrorNames[] = {
    STANDIN_NAMED_ERROR(ERROR_SUCCESS),
    STANDIN_NAMED_ERROR(ERROR_FILE_NOT_FOUND),
    STANDIN_NAMED_ERROR(ERROR_PATH_NOT_FOUND),
    STANDIN_NAMED_ERROR(ERROR_ACCESS_DENIED),
    STANDIN_NAMED_ERROR(ERROR_INVALID_HANDLE),
    STANDIN_NAMED_ERROR(ERROR_NOT_ENOUGH_MEMORY),
    STANDIN_NAMED_ERROR(ERROR_INVALID_DRIVE),
    STANDIN_NAMED_ERROR(ERROR_BAD_NETPATH),
    STANDIN_NAMED_ERROR(ERROR_BAD_NET_NAME),
    STANDIN_NAMED_ERROR(ERROR_INVALID_PARAMETER),
    STANDIN_NAMED_ERROR(ERROR_INSUFFICIENT_BUFFER),
    STANDIN_NAMED_ERROR(ERROR_INVALID_NAME),
    STANDIN_NAMED_ERROR(ERROR_BAD_PATHNAME),
    STANDIN_NAMED_ERROR(ERROR_BUSY),
    STANDIN_NAMED_ERROR(ERROR_ALREADY_EXISTS),
    STANDIN_NAMED_ERROR(ERROR_FILENAME_EXCED_RANGE),
    STANDIN_NAMED_ERROR(ERROR_MORE_DATA),
    STANDIN_NAMED_ERROR(ERROR_NO_MORE_ITEMS),
    STANDIN_NAMED_ERROR(ERROR_DIRECTORY),
    STANDIN_NAMED_ERROR(ERROR_NOACCESS),
    STANDIN_NAMED_ERROR(ERROR_BADKEY),
    STANDIN_NAMED_ERROR(ERROR_REGISTRY_CORRUPT),
    STANDIN_NAMED_ERROR(ERROR_KEY_DELETED),
    STANDIN_NAMED_ERROR(ERROR_REGISTRY_IO_FAILED),
};

#undef STANDIN_NAMED_ERROR

/* The code's name, or "" for a code this table does not know. */
static inline const char *StandinErrorName(DWORD code)
{
    for (size_t i = 0; i < sizeof kStandinErrorNames / sizeof kStandinErrorNames[0]; ++i)
        if (kStandinErrorNames[i].code == code) return kStandinErrorNames[i].name;
    return "";
}

#endif
