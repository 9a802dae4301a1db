// probe(COMMAND, ...): a test plug-in whose first input chooses one use (or misuse) of the host.
#include <string.h>

#include "mex.h"
#include "mx_extra.h"

// Set by an object whose destructor must not run when an error unwinds past it.
static bool destructorRan = false;

namespace {

typedef void (*Command)(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

struct Sentinel {
    ~Sentinel() { destructorRan = true; }
};

} // namespace

static int int_arg(const mxArray *array, size_t index) { return (int)mxGetPr(array)[index]; }

// probe('dims', [d1 d2 ...], 'class'): an array of the class with those dimensions.
static void make_dims(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    int ndim = (int)mxGetNumberOfElements(prhs[1]);
    int dims[8];
    for (int i = 0; i < ndim; ++i) dims[i] = int_arg(prhs[1], (size_t)i);
    char *cls = mxArrayToString(prhs[2]);
    if (strcmp(cls, "char") == 0)
        plhs[0] = mxCreateCharArray_700(ndim, dims);
    else
        plhs[0] = mxCreateCellArray_700(ndim, dims);
}

// probe('cell', n, [indices]): a 1 x n cell with 'x' rows stored at the zero-based indices.
static void make_cell(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    int dims[2] = {1, int_arg(prhs[1], 0)};
    plhs[0] = mxCreateCellArray_700(2, dims);
    for (size_t i = 0; i < mxGetNumberOfElements(prhs[2]); ++i)
        mxSetCell_700(plhs[0], int_arg(prhs[2], i), mxCreateString("x"));
}

// probe('replace'): stores twice at one index; the host destroys the first element.
static void replace(int, mxArray *plhs[], int, const mxArray *[])
{
    int dims[2] = {1, 1};
    plhs[0] = mxCreateCellArray_700(2, dims);
    mxSetCell_700(plhs[0], 0, mxCreateString("first"));
    mxSetCell_700(plhs[0], 0, mxCreateString("second"));
}

// probe('fail', kind): output and elements stored, blocks taken, then an error.
static void fail(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    int dims[2] = {2, 2};
    plhs[0] = mxCreateCellArray_700(2, dims);
    mxSetCell_700(plhs[0], 0, mxCreateString("kept?"));
    mxSetCell_700(plhs[0], 3, mxCreateString("kept?"));
    mxCreateString("loose");
    mxMalloc(100);
    mxCalloc(10, 8);
    Sentinel sentinel;
    if (int_arg(prhs[1], 0) == 0) mexErrMsgTxt("plain 100% text");
    mexErrMsgIdAndTxt("probe:failed", "failed %d of %s (%.1f)", 3, "seven", 0.5);
}

// probe('raise', identifier, text): raises the text through a "%s" format.
static void raise(int, mxArray *[], int, const mxArray *prhs[])
{
    mexErrMsgIdAndTxt(mxArrayToString(prhs[1]), "%s", mxArrayToString(prhs[2]));
}

// probe('destructor_ran'): whether a Sentinel's destructor ever ran.
static void destructor_ran(int, mxArray *plhs[], int, const mxArray *[])
{
    plhs[0] = mxCreateDoubleScalar(destructorRan ? 1 : 0);
}

// probe('leak'): 3 blocks of which 1 freed, 2 arrays dropped (one a cell holding another);
// returns a cell holding a row.
static void leak(int, mxArray *plhs[], int, const mxArray *[])
{
    void *kept = mxMalloc(16);
    mxMalloc(32);
    mxFree(kept);
    mxCalloc(4, 4);
    mxFree(NULL);
    int one[2] = {1, 1};
    mxArray *dropped = mxCreateCellArray_700(2, one);
    mxSetCell_700(dropped, 0, mxCreateString("dropped"));
    plhs[0] = mxCreateCellArray_700(2, one);
    mxSetCell_700(plhs[0], 0, mxCreateString("returned"));
}

// probe('alloc', n): n requests, alternating mxMalloc and mxCalloc; returns which gave null.
static void alloc(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    int n = int_arg(prhs[1], 0);
    plhs[0] = mxCreateDoubleMatrix_700(1, n, mxREAL);
    for (int i = 0; i < n; ++i) {
        void *block = i % 2 == 0 ? mxMalloc(8) : mxCalloc(2, 4);
        mxGetPr(plhs[0])[i] = block == NULL;
        mxFree(block);
    }
}

// probe('count', x): x's element count as the host reports it.
static void count(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    plhs[0] = mxCreateDoubleScalar((double)mxGetNumberOfElements(prhs[1]));
}

// probe('tostring', x): mxArrayToString(x) back as a row of its bytes (the string is not freed).
static void to_string(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    plhs[0] = mxCreateString(mxArrayToString(prhs[1]));
}

// probe('pass', x): hands the input itself back as the output.
static void pass(int, mxArray *plhs[], int, const mxArray *prhs[]) { plhs[0] = (mxArray *)prhs[1]; }

// probe('first'): sets plhs[0] only, whatever nlhs is.
static void first(int, mxArray *plhs[], int, const mxArray *[]) { plhs[0] = mxCreateString("one"); }

// probe('nothing'): returns without output.
static void nothing(int, mxArray *[], int, const mxArray *[]) {}

// Misuse, each caught by the host.
static void setcell_range(int, mxArray *plhs[], int, const mxArray *[])
{
    int dims[2] = {1, 2};
    plhs[0] = mxCreateCellArray_700(2, dims);
    mxSetCell_700(plhs[0], 2, mxCreateString("x"));
}

static void getcell_range(int, mxArray *[], int, const mxArray *prhs[]) { mxGetCell_700(prhs[1], -1); }

static void free_foreign(int, mxArray *[], int, const mxArray *[])
{
    static char notHostMemory[64];
    mxFree(notHostMemory + 32);
}

static void free_twice(int, mxArray *[], int, const mxArray *[])
{
    void *block = mxMalloc(8);
    mxFree(block);
    mxFree(block);
}

// Writes into the input, or into the first element of an input cell.
static void write_input(int, mxArray *[], int, const mxArray *prhs[])
{
    const mxArray *target = mxIsCell(prhs[1]) ? mxGetCell_700(prhs[1], 0) : prhs[1];
    ((mxChar *)mxGetData(target))[0] = 'Z';
}

static void setcell_input(int, mxArray *[], int, const mxArray *prhs[])
{
    mxSetCell_700((mxArray *)prhs[1], 0, mxCreateString("x"));
}

static void throw_exception(int, mxArray *[], int, const mxArray *[]) { throw 42; }

namespace {

struct Entry {
    const char *name;
    Command command;
};

} // namespace

static const Entry kCommands[] = {
    {"dims", make_dims},
    {"cell", make_cell},
    {"replace", replace},
    {"fail", fail},
    {"raise", raise},
    {"destructor_ran", destructor_ran},
    {"leak", leak},
    {"alloc", alloc},
    {"count", count},
    {"tostring", to_string},
    {"pass", pass},
    {"first", first},
    {"nothing", nothing},
    {"setcell_range", setcell_range},
    {"getcell_range", getcell_range},
    {"free_foreign", free_foreign},
    {"free_twice", free_twice},
    {"write_input", write_input},
    {"setcell_input", setcell_input},
    {"throw", throw_exception},
};

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    if (nrhs < 1 || !mxIsChar(prhs[0])) mexErrMsgIdAndTxt("probe:usage", "probe(COMMAND, ...)");
    char *name = mxArrayToString(prhs[0]);
    for (const Entry &entry : kCommands) {
        if (strcmp(entry.name, name) == 0) {
            mxFree(name);
            entry.command(nlhs, plhs, nrhs, prhs);
            return;
        }
    }
    mexErrMsgIdAndTxt("probe:unknown", "unknown command '%s'", name);
}
