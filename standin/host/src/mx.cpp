// The arrays of the stand-in libmx and the running call's record. One allocation per array:
// the record, any dimensions beyond two, then the data.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hoststate.h"
#include "mx_extra.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

using namespace mexhost::detail;

namespace {

struct ClassInfo {
    const char *name;
    size_t elem_size;
    bool creatable;
};

} // namespace

// Indexed by mxClassID.
const ClassInfo kClasses[] = {
    {"unknown", 0, false},
    {"cell", sizeof(mxArray *), true},
    {"struct", 0, true},
    {"logical", sizeof(mxLogical), true},
    {"char", sizeof(mxChar), true},
    {"void", 0, false},
    {"double", 8, true},
    {"single", 4, true},
    {"int8", 1, true},
    {"uint8", 1, true},
    {"int16", 2, true},
    {"uint16", 2, true},
    {"int32", 4, true},
    {"uint32", 4, true},
    {"int64", 8, true},
    {"uint64", 8, true},
    {"function_handle", 0, false},
};

static Call g_call;

static size_t round16(size_t bytes) { return (bytes + 15) & ~size_t(15); }

// The size of dimension i as the host takes it: missing ones are 1, negative ones 0.
static int dim_at(int ndim, const int *dims, int i)
{
    if (i >= ndim) return 1;
    return dims[i] < 0 ? 0 : dims[i];
}

[[noreturn]] static void out_of_memory()
{
    Call &call = current_call();
    if (!call.active) misuse("out of memory while creating an array");
    call.identifier = "MATLAB:nomem";
    call.message = "Out of memory.";
    raise_error();
}

static mxArray *cell_checked(const mxArray *cell, int index, const char *operation)
{
    mxArray *array = checked(cell, operation);
    if (array->cls != mxCELL_CLASS)
        misuse("%s: the array is a %s array, not a cell", operation, kClasses[array->cls].name);
    if (index < 0 || static_cast<size_t>(index) >= array->count)
        misuse("%s: index %d out of range for a cell of %zu elements", operation, index, array->count);
    return array;
}

// During a call a plug-in may change only arrays it made in that call.
static void check_writable(const mxArray *array, const char *operation)
{
    const Call &call = current_call();
    if (call.active && array->call_id != call.id)
        misuse("%s: the array is an input (or was not made by this call) and is read-only", operation);
}

namespace mexhost::detail {

Call &current_call() { return g_call; }

void misuse(const char *format, ...)
{
    std::fflush(stdout);
    if (g_call.active)
        std::fprintf(stderr, "mex host: plug-in \"%s\" misused the host: ", g_call.name);
    else
        std::fprintf(stderr, "mex host: misuse: ");
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::abort();
}

void raise_error()
{
    if (!g_call.active) misuse("an error was raised outside a call: %s", g_call.message.c_str());
#if defined(__SANITIZE_ADDRESS__)
    // The jump skips the plug-in's frames; their shadow memory must not stay poisoned.
    __asan_handle_no_return();
#endif
    __builtin_longjmp(g_call.jump, 1);
}

mxArray *checked(const mxArray *array, const char *operation)
{
    if (!array) misuse("%s: null array", operation);
    if (array->magic != kArrayMagic) misuse("%s: %p is not an array", operation, (void *)array);
    return const_cast<mxArray *>(array);
}

mxArray *create_array(mxClassID cls, int ndim, const int *dims)
{
    if (cls < 0 || cls > mxFUNCTION_CLASS || !kClasses[cls].creatable)
        misuse("cannot create an array of class id %d", static_cast<int>(cls));
    if (ndim < 0) misuse("negative number of dimensions (%d)", ndim);
    if (ndim > 0 && !dims) misuse("null dimensions for %d dimensions", ndim);
    int n = ndim < 2 ? 2 : ndim;
    while (n > 2 && dim_at(ndim, dims, n - 1) == 1) --n;

    // One size 0 empties the array, however large the others' product would be.
    size_t count = 1;
    for (int i = 0; i < n; ++i)
        if (dim_at(ndim, dims, i) == 0) count = 0;
    for (int i = 0; i < n && count != 0; ++i) {
        size_t d = static_cast<size_t>(dim_at(ndim, dims, i));
        if (count > SIZE_MAX / d) out_of_memory();
        count *= d;
    }
    size_t elem_size = kClasses[cls].elem_size;
    if (elem_size != 0 && count > (SIZE_MAX / 2) / elem_size) out_of_memory();
    size_t head = round16(sizeof(mxArray));
    size_t extra_dims = n > 2 ? round16(n * sizeof(int)) : 0;
    size_t data_bytes = count * elem_size;
    char *raw = static_cast<char *>(std::malloc(head + extra_dims + data_bytes));
    if (!raw) out_of_memory();

    mxArray *array = reinterpret_cast<mxArray *>(raw);
    array->magic = kArrayMagic;
    array->cls = cls;
    array->ndim = n;
    array->dims = n > 2 ? reinterpret_cast<int *>(raw + head) : array->small_dims;
    for (int i = 0; i < n; ++i) array->dims[i] = dim_at(ndim, dims, i);
    array->count = count;
    array->reported = count;
    array->elem_size = elem_size;
    array->data = data_bytes ? raw + head + extra_dims : nullptr;
    if (data_bytes) std::memset(array->data, 0, data_bytes);
    if (g_call.active) {
        array->owner = Owner::Call;
        array->call_id = g_call.id;
        list_push(g_call.arrays, array->link);
        ++g_call.arrays_created;
    } else {
        array->owner = Owner::Caller;
        array->call_id = 0;
        list_init(array->link);
    }
    return array;
}

size_t destroy_tree(mxArray *array)
{
    size_t destroyed = 1;
    if (array->cls == mxCELL_CLASS) {
        mxArray **elements = static_cast<mxArray **>(array->data);
        for (size_t i = 0; i < array->count; ++i)
            if (elements[i]) destroyed += destroy_tree(elements[i]);
    }
    list_remove(array->link);
    array->magic = 0;
    std::free(array);
    return destroyed;
}

mxArray *duplicate(const mxArray *source)
{
    mxArray *copy = create_array(source->cls, source->ndim, source->dims);
    if (source->cls != mxCELL_CLASS) {
        if (copy->data) std::memcpy(copy->data, source->data, source->count * source->elem_size);
        return copy;
    }
    mxArray *const *from = static_cast<mxArray *const *>(source->data);
    mxArray **to = static_cast<mxArray **>(copy->data);
    for (size_t i = 0; i < source->count; ++i) {
        if (!from[i]) continue;
        to[i] = duplicate(from[i]);
        list_remove(to[i]->link);
        to[i]->owner = Owner::Cell;
    }
    return copy;
}

} // namespace mexhost::detail

// --- The operations the plug-ins use ---

bool mxIsChar(const mxArray *array) { return checked(array, "mxIsChar")->cls == mxCHAR_CLASS; }

bool mxIsCell(const mxArray *array) { return checked(array, "mxIsCell")->cls == mxCELL_CLASS; }

mxClassID mxGetClassID(const mxArray *array) { return checked(array, "mxGetClassID")->cls; }

size_t mxGetNumberOfElements(const mxArray *array)
{
    return checked(array, "mxGetNumberOfElements")->reported;
}

void *mxGetData(const mxArray *array) { return checked(array, "mxGetData")->data; }

// Units 0x00-0xFF become the byte of the same value (Latin-1, as a Western code page); any
// other unit becomes '?', as a conversion to a non-Unicode code page does. A 0 unit ends the
// C string early. Null for an array that is not char, as the host gives.
char *mxArrayToString(const mxArray *array)
{
    mxArray *source = checked(array, "mxArrayToString");
    if (source->cls != mxCHAR_CLASS) return nullptr;
    char *text = static_cast<char *>(allocate_string(source->count + 1));
    const mxChar *units = static_cast<const mxChar *>(source->data);
    for (size_t i = 0; i < source->count; ++i) text[i] = units[i] <= 0xFF ? static_cast<char>(units[i]) : '?';
    text[source->count] = '\0';
    return text;
}

int mxGetNumberOfDimensions_700(const mxArray *array)
{
    return checked(array, "mxGetNumberOfDimensions_700")->ndim;
}

const int *mxGetDimensions_700(const mxArray *array) { return checked(array, "mxGetDimensions_700")->dims; }

mxArray *mxCreateCellArray_700(int ndim, const int *dims) { return create_array(mxCELL_CLASS, ndim, dims); }

mxArray *mxGetCell_700(const mxArray *cell, int index)
{
    mxArray *array = cell_checked(cell, index, "mxGetCell_700");
    return static_cast<mxArray **>(array->data)[index];
}

void mxSetCell_700(mxArray *cell, int index, mxArray *value)
{
    mxArray *array = cell_checked(cell, index, "mxSetCell_700");
    check_writable(array, "mxSetCell_700");
    mxArray **slot = static_cast<mxArray **>(array->data) + index;
    if (value) {
        checked(value, "mxSetCell_700");
        if (value == array) misuse("mxSetCell_700: a cell cannot hold itself");
        if (value->owner == Owner::Cell) misuse("mxSetCell_700: the value already belongs to a cell");
        if (g_call.active && value->owner != Owner::Call)
            misuse("mxSetCell_700: the value is an input (or was not made by this call)");
        list_remove(value->link);
        value->owner = Owner::Cell;
    }
    // The host destroys the element a cell held before.
    if (*slot) destroy_tree(*slot);
    *slot = value;
}

mxArray *mxCreateCharArray_700(int ndim, const int *dims) { return create_array(mxCHAR_CLASS, ndim, dims); }

// --- Extra operations for tests, test plug-ins and mexcall ---

mxArray *mxCreateNumericArray_700(int ndim, const int *dims, mxClassID classid, mxComplexity flag)
{
    if (flag != mxREAL) misuse("mxCreateNumericArray_700: complex arrays are not supported");
    if (classid < mxDOUBLE_CLASS || classid > mxUINT64_CLASS)
        misuse("mxCreateNumericArray_700: class id %d is not numeric", static_cast<int>(classid));
    return create_array(classid, ndim, dims);
}

mxArray *mxCreateDoubleMatrix_700(int m, int n, mxComplexity flag)
{
    const int dims[2] = {m, n};
    return mxCreateNumericArray_700(2, dims, mxDOUBLE_CLASS, flag);
}

mxArray *mxCreateDoubleScalar(double value)
{
    mxArray *array = mxCreateDoubleMatrix_700(1, 1, mxREAL);
    *static_cast<double *>(array->data) = value;
    return array;
}

mxArray *mxCreateLogicalArray_700(int ndim, const int *dims)
{
    return create_array(mxLOGICAL_CLASS, ndim, dims);
}

mxArray *mxCreateStructMatrix_700(int m, int n, int nfields, const char **)
{
    if (nfields != 0) misuse("mxCreateStructMatrix_700: structs with fields are not supported");
    const int dims[2] = {m, n};
    return create_array(mxSTRUCT_CLASS, 2, dims);
}

mxArray *mxCreateString(const char *text)
{
    if (!text) misuse("mxCreateString: null string");
    size_t length = std::strlen(text);
    if (length > 0x7FFFFFFF) out_of_memory();
    const int dims[2] = {1, static_cast<int>(length)};
    mxArray *array = create_array(mxCHAR_CLASS, 2, dims);
    mxChar *units = static_cast<mxChar *>(array->data);
    for (size_t i = 0; i < length; ++i) units[i] = static_cast<unsigned char>(text[i]);
    return array;
}

mxArray *mxDuplicateArray(const mxArray *array) { return duplicate(checked(array, "mxDuplicateArray")); }

void mxDestroyArray(mxArray *array)
{
    if (!array) return;
    checked(array, "mxDestroyArray");
    if (array->owner == Owner::Cell) misuse("mxDestroyArray: the array belongs to a cell");
    check_writable(array, "mxDestroyArray");
    destroy_tree(array);
}

double *mxGetPr(const mxArray *array)
{
    mxArray *source = checked(array, "mxGetPr");
    if (source->cls != mxDOUBLE_CLASS) misuse("mxGetPr: the array is not double");
    return static_cast<double *>(source->data);
}

mxLogical *mxGetLogicals(const mxArray *array)
{
    mxArray *source = checked(array, "mxGetLogicals");
    if (source->cls != mxLOGICAL_CLASS) misuse("mxGetLogicals: the array is not logical");
    return static_cast<mxLogical *>(source->data);
}

size_t mxGetM(const mxArray *array) { return static_cast<size_t>(checked(array, "mxGetM")->dims[0]); }

size_t mxGetN(const mxArray *array)
{
    const mxArray *source = checked(array, "mxGetN");
    size_t n = 1;
    for (int i = 1; i < source->ndim; ++i) n *= static_cast<size_t>(source->dims[i]);
    return n;
}

size_t mxGetElementSize(const mxArray *array) { return checked(array, "mxGetElementSize")->elem_size; }

bool mxIsEmpty(const mxArray *array) { return checked(array, "mxIsEmpty")->count == 0; }

bool mxIsDouble(const mxArray *array) { return checked(array, "mxIsDouble")->cls == mxDOUBLE_CLASS; }

bool mxIsLogical(const mxArray *array) { return checked(array, "mxIsLogical")->cls == mxLOGICAL_CLASS; }

bool mxIsStruct(const mxArray *array) { return checked(array, "mxIsStruct")->cls == mxSTRUCT_CLASS; }

bool mxIsNumeric(const mxArray *array)
{
    mxClassID cls = checked(array, "mxIsNumeric")->cls;
    return cls >= mxDOUBLE_CLASS && cls <= mxUINT64_CLASS;
}

const char *mxGetClassName(const mxArray *array)
{
    return kClasses[checked(array, "mxGetClassName")->cls].name;
}
