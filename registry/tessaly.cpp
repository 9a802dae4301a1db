// tessaly(BaseKey, Key, ValueName, Value): writes Value(1) as a REG_DWORD under BaseKey\Key.
// Windows source; where Windows is absent it builds against stand-ins of the host and of Win32.
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "mex.h"

namespace {

enum Failure { Usage, BadTypes, EmptyValue, BadBaseKey, OpenFailed, SetFailed, FailureCount };

struct Message {
    Failure failure;
    const char *text;
};

struct BaseKey {
    const char *name;
    HKEY root;
};

} // namespace

// Indexed by Failure; each row names its failure, and the check below refuses a row out of place.
// BadBaseKey, OpenFailed and SetFailed are formats filled in with inputs. No identifier: these
// errors reach the user through mexErrMsgTxt.
static constexpr Message kMessages[] = {
    {Usage, "Four inputs required.\n\nExample:\ntessaly('HKLM','Software\\MyProg','TheValue',33);"},
    {BadTypes, "Inputs 1-3 must be a strings and input 4 must be a UINT32 (i.e. DWORD)."},
    {EmptyValue, "Input 4 must hold at least one UINT32 value."},
    {BadBaseKey, "Invalid Base Key specified : '%s'"},
    {OpenFailed, "Failed to Open/Create Key: '%s'"},
    {SetFailed, "Failed to Set Value For Key '%s', Value: %s"},
};

static constexpr bool rowsMatchFailures()
{
    for (size_t i = 0; i < sizeof kMessages / sizeof kMessages[0]; ++i)
        if (kMessages[i].failure != (Failure)i) return false;
    return sizeof kMessages / sizeof kMessages[0] == FailureCount;
}
static_assert(rowsMatchFailures(), "kMessages needs one row per Failure, in the enum's order");

// Searched in order; ends with a null name.
static const BaseKey kBaseKeys[] = {
    {"HKLM", HKEY_LOCAL_MACHINE},  {"HKCU", HKEY_CURRENT_USER}, {"HKCR", HKEY_CLASSES_ROOT},
    {"HKCC", HKEY_CURRENT_CONFIG}, {"HKU", HKEY_USERS},         {NULL, NULL},
};

static const size_t kMessageBytes = 1024;

// Neither returns: the host unwinds to its call boundary. Not marked [[noreturn]], because
// MATLAB's own mex.h does not mark mexErrMsgTxt so and the compiler would then warn that they
// return; every caller is written to need no such mark.
static void fail(Failure failure) { mexErrMsgTxt(kMessages[failure].text); }

// Fills the failure's format with the inputs, cut short at the buffer's end. The finished text
// goes out unformatted, so a '%' in an input is shown as it is.
static void fail_with(Failure failure, const char *first, const char *second)
{
    char message[kMessageBytes];
    snprintf(message, sizeof message, kMessages[failure].text, first, second);
    mexErrMsgTxt(message);
}

// The root whose name equals name exactly (case-sensitive), or null.
static HKEY findBaseKey(const char *name)
{
    for (const BaseKey *entry = kBaseKeys; entry->name != NULL; ++entry) {
        if (strcmp(entry->name, name) == 0) return entry->root;
    }
    return NULL;
}

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)nlhs;
    (void)plhs;
    if (nrhs != 4) fail(Usage);
    if (!mxIsChar(prhs[0]) || !mxIsChar(prhs[1]) || !mxIsChar(prhs[2]) ||
        mxGetClassID(prhs[3]) != mxUINT32_CLASS) {
        fail(BadTypes);
    }
    // An empty array has no first element to write.
    if (mxGetNumberOfElements(prhs[3]) == 0) fail(EmptyValue);

    // Never freed here: the host frees every block of a call when it returns or raises an error,
    // and the errors below leave no chance to free them anyway.
    const char *baseKey = mxArrayToString(prhs[0]);
    const char *key = mxArrayToString(prhs[1]);
    const char *valueName = mxArrayToString(prhs[2]);
    const BYTE *value = (const BYTE *)mxGetData(prhs[3]);

    HKEY root = findBaseKey(baseKey);
    if (root == NULL) fail_with(BadBaseKey, baseKey, NULL);

    HKEY opened = NULL;
    if (RegCreateKeyExA(root, key, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &opened, NULL) !=
        ERROR_SUCCESS) {
        fail_with(OpenFailed, key, NULL);
    }
    if (RegSetValueExA(opened, valueName, 0, REG_DWORD, value, 4) != ERROR_SUCCESS) {
        RegCloseKey(opened);
        fail_with(SetFailed, key, valueName);
    }
    RegCloseKey(opened);
}
