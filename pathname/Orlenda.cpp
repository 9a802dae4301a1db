// Orlenda(FileName): the full, long path name of one name, or of every name in a cell array.
// Windows source; where Windows is absent it builds against stand-ins of the host and of Win32.
#include <string.h>
#include <windows.h>

#include "mex.h"

namespace {

enum Failure {
    BadNInput,
    BadInputType,
    BadInputSize,
    NoMemoryName,
    FullNameStatic,
    NoMemoryBuffer,
    FullNameDynamic,
    LongNameTooLong,
    FailureCount
};

struct Message {
    Failure failure;
    const char *identifier;
    const char *text;
};

} // namespace

// Indexed by Failure; each row names its failure, and the check below refuses a row out of place.
// Identifiers have MATLAB's form (fields of letters, digits and '_' joined by ':'): MATLAB refuses
// any other and raises its own error in place of the plug-in's.
static constexpr Message kMessages[] = {
    {BadNInput, "Peltrac:Varnelle:BadNInput", "Varnelle: 1 input required, 1 output allowed."},
    {BadInputType, "Peltrac:Varnelle:BadInputType", "Varnelle: [FileName] must be a string or cell string."},
    {BadInputSize, "Peltrac:Varnelle:BadInputSize", "Varnelle: FileName is too long."},
    {NoMemoryName, "Peltrac:Varnelle:NoMemory", "Varnelle: No memory for FileName."},
    {FullNameStatic, "Peltrac:Varnelle:GetFullName_Failed_Static", "Varnelle: VarnelleName failed."},
    {NoMemoryBuffer, "Peltrac:Varnelle:NoMemory", "Varnelle: No memory for dynamic buffer."},
    {FullNameDynamic, "Peltrac:Varnelle:GetFullName_Failed_Dynamic", "Varnelle: VarnelleName failed."},
    {LongNameTooLong, "Peltrac:Varnelle:Orlenda_Failed", "Varnelle: Orlenda failed - name too long."},
};

static constexpr bool rowsMatchFailures()
{
    for (size_t i = 0; i < sizeof kMessages / sizeof kMessages[0]; ++i)
        if (kMessages[i].failure != (Failure)i) return false;
    return sizeof kMessages / sizeof kMessages[0] == FailureCount;
}
static_assert(rowsMatchFailures(), "kMessages needs one row per Failure, in the enum's order");

// Longest name accepted, in UTF-16 units.
static const int kMaxNameUnits = 8191;

// "." stands for an empty name; it has no capitals, so it is never written to.
static const WCHAR kCurrentFolder[] = {'.', 0};

// Prefixes that let a full name longer than MAX_PATH through. The full name is written at the
// offset, so the UNC prefix's final "C" lands on the first of the name's two backslashes.
static const WCHAR kLocalPrefix[] = {'\\', '\\', '?', '\\'};
static const WCHAR kUncPrefix[] = {'\\', '\\', '?', '\\', 'U', 'N', 'C'};
static const DWORD kLocalOffset = 4;
static const DWORD kUncOffset = 6;

// Receives every full name that fits; the host makes one call at a time, so one buffer serves all.
static WCHAR staticNameBuffer[MAX_PATH];

// Never returns: the host unwinds to its call boundary. Not marked [[noreturn]], because MATLAB's
// own mex.h does not mark mexErrMsgIdAndTxt so and the compiler would then warn that it returns;
// every caller is written to need no such mark.
static void fail(Failure failure)
{
    mexErrMsgIdAndTxt(kMessages[failure].identifier, "%s", kMessages[failure].text);
}

// The element count of a name or cell as the 32-bit count the host's compatibility API uses.
// Counts that do not fit are refused before anything narrows them.
static int element_count(const mxArray *array)
{
    size_t count = mxGetNumberOfElements(array);
    if (count > 0x7FFFFFFF) fail(BadInputSize);
    return (int)count;
}

// Only A-Z gain 0x20: accented capitals, other scripts and surrogates stay as given, whatever
// the process's locale.
static WCHAR lower_ascii(mxChar unit) { return (WCHAR)(unit >= 'A' && unit <= 'Z' ? unit + 0x20 : unit); }

// "\\server\share\x" gets the UNC prefix; "//server/share/x" and everything else the plain one.
static bool is_unc_name(const WCHAR *name) { return name[0] == '\\' && name[1] == '\\'; }

// A full name longer than MAX_PATH (len units with its terminator, as the first call reported)
// in a buffer of its own, behind the prefix that lets the long-name step take it.
static WCHAR *enlargedFullName(const WCHAR *working, DWORD len)
{
    // len counts the terminator; the 8 extra units hold the prefix's offset with room to spare.
    WCHAR *enlarged = (WCHAR *)mxCalloc((size_t)len + 8, sizeof(WCHAR));
    if (enlarged == NULL) fail(NoMemoryBuffer);
    // The prefix follows the name as given, not its full name: a relative name whose current
    // folder is a share gets the plain prefix ("\\?\" then "\\server\share\x"). Choosing by the
    // full name would change what such names have always given.
    bool unc = is_unc_name(working);
    DWORD offset = unc ? kUncOffset : kLocalOffset;
    // Only a failure is checked, not that the answer equals len - 1: the host makes one call at
    // a time, so nothing moves the current folder between the two calls. Were the answer larger
    // anyway, nothing would be written and the zero-filled buffer would hold the prefix alone,
    // which names no file.
    if (GetFullPathNameW(working, len, enlarged + offset, NULL) == 0) fail(FullNameDynamic);
    if (unc)
        memcpy(enlarged, kUncPrefix, sizeof kUncPrefix);
    else
        memcpy(enlarged, kLocalPrefix, sizeof kLocalPrefix);
    return enlarged;
}

// The full long name of one name as a new 1 x n char row. The blocks taken here are freed on
// success; when a failure is raised the host frees them with the rest of the call.
static mxArray *fullLongName(const mxChar *units, int count)
{
    // Working name: a lowercased, terminated copy.
    const WCHAR *working = kCurrentFolder;
    WCHAR *copy = NULL;
    if (count > 0) {
        if (count > kMaxNameUnits) fail(BadInputSize);
        copy = (WCHAR *)mxMalloc(((size_t)count + 1) * sizeof(WCHAR));
        if (copy == NULL) fail(NoMemoryName);
        for (int i = 0; i < count; ++i) copy[i] = lower_ascii(units[i]);
        copy[count] = 0;
        working = copy;
    }

    WCHAR *buffer = staticNameBuffer;
    WCHAR *enlarged = NULL;
    DWORD len = GetFullPathNameW(working, MAX_PATH, staticNameBuffer, NULL);
    if (len == 0) fail(FullNameStatic);
    if (len > MAX_PATH) {
        enlarged = enlargedFullName(working, len);
        buffer = enlarged;
    }

    // The capacity stays MAX_PATH for either buffer: longer long names are refused.
    DWORD n = GetLongPathNameW(buffer, buffer, MAX_PATH);
    if (n > MAX_PATH) fail(LongNameTooLong);

    int dims[2] = {1, (int)n};
    mxArray *result = mxCreateCharArray_700(2, dims);
    // An empty row has no data (null), which memcpy may not be handed even for 0 units.
    if (n > 0) memcpy(mxGetData(result), buffer, (size_t)n * sizeof(WCHAR));

    if (copy != NULL) mxFree(copy);
    if (enlarged != NULL) mxFree(enlarged);
    return result;
}

// One element of a cell array: an unset element (null) stands for the current folder.
static mxArray *convertedElement(const mxArray *element)
{
    if (element == NULL) return fullLongName(NULL, 0);
    if (!mxIsChar(element)) fail(BadInputType);
    return fullLongName((const mxChar *)mxGetData(element), element_count(element));
}

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    if (nrhs != 1 || nlhs > 1) fail(BadNInput);
    const mxArray *input = prhs[0];

    if (mxIsChar(input)) {
        plhs[0] = fullLongName((const mxChar *)mxGetData(input), element_count(input));
        return;
    }
    if (!mxIsCell(input)) fail(BadInputType);

    mxArray *output = mxCreateCellArray_700(mxGetNumberOfDimensions_700(input), mxGetDimensions_700(input));
    plhs[0] = output;
    // Last element first, as the function has always worked; callers can see the order: with
    // several bad elements the error is the last one's, and the platform is asked in that order.
    for (int index = element_count(input) - 1; index >= 0; --index) {
        mxSetCell_700(output, index, convertedElement(mxGetCell_700(input, index)));
    }
}
