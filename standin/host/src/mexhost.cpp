// The call boundary of the stand-in host, and the array builders and readers for tests.
#include "mexhost.h"

#include <algorithm>
#include <cstring>

#include "hoststate.h"
#include "platform.h"

using namespace mexhost::detail;

namespace mexhost {

// Columns of an array of `count` values when no dimensions are given: 1 x N, or 0 x 0.
static std::vector<int> default_dims(std::vector<int> dims, size_t count)
{
    if (!dims.empty()) return dims;
    if (count == 0) return {0, 0};
    return {1, static_cast<int>(count)};
}

static mxArray *make_sized(mxClassID cls, const std::vector<int> &dims, size_t values, const char *builder)
{
    mxArray *array = create_array(cls, static_cast<int>(dims.size()), dims.data());
    if (array->count != values)
        misuse("%s: %zu values for dimensions of %zu elements", builder, values, array->count);
    return array;
}

namespace {

// A Fletcher-style digest over 64-bit words: two additions per word, and any single changed
// word (or two swapped ones) changes it. Enough to catch a plug-in writing into an input.
struct Digest {
    uint64_t sum = 0, sum_of_sums = 0;
    void add(uint64_t word)
    {
        sum += word;
        sum_of_sums += sum;
    }
    bool operator!=(const Digest &other) const { return sum != other.sum || sum_of_sums != other.sum_of_sums; }
};

} // namespace

// Everything a plug-in could change in an input: shape, data, and cell contents.
static void digest(const mxArray *array, Digest &d)
{
    d.add(static_cast<uint64_t>(array->cls));
    for (int i = 0; i < array->ndim; ++i) d.add(static_cast<uint64_t>(array->dims[i]));
    const unsigned char *bytes = static_cast<const unsigned char *>(array->data);
    size_t size = array->count * array->elem_size;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        d.add(word);
    }
    if (i < size) { // the tail, zero-padded, with its length in the top byte
        uint64_t word = 0;
        std::memcpy(&word, bytes + i, size - i);
        d.add(word ^ (static_cast<uint64_t>(size - i) << 56));
    }
    if (array->cls == mxCELL_CLASS) {
        mxArray *const *elements = static_cast<mxArray *const *>(array->data);
        for (size_t k = 0; k < array->count; ++k)
            if (elements[k]) digest(elements[k], d);
    }
}

static Digest checksum(const mxArray *array)
{
    Digest d;
    digest(array, d);
    return d;
}

// A C++ exception must not cross the plug-in boundary; one that does is the plug-in's fault.
static void run_entry(Entry entry, int nlhs, mxArray **plhs, int nrhs, const mxArray **prhs)
{
    try {
        entry(nlhs, plhs, nrhs, prhs);
    } catch (...) {
        misuse("a C++ exception left mexFunction");
    }
}

// The only frame that knows the jump buffer: an error raised below returns here with false.
static __attribute__((noinline)) bool invoke(Call &call, Entry entry, int nlhs, mxArray **plhs, int nrhs,
                                      const mxArray **prhs)
{
    if (__builtin_setjmp(call.jump) != 0) return false;
    run_entry(entry, nlhs, plhs, nrhs, prhs);
    return true;
}

static void begin_call(Call &call, const std::string &name, const CallOptions &options)
{
    if (call.active) misuse("a call of \"%s\" started while \"%s\" is running", name.c_str(), call.name);
    call.active = true;
    ++call.id;
    call.name = name.c_str();
    list_init(call.arrays);
    list_init(call.blocks);
    call.requests = 0;
    call.fail_at = options.fail_allocation;
    call.allocations = 0;
    call.arrays_created = 0;
    call.identifier.clear();
    call.message.clear();
}

// An output hands over to the caller; one the call did not make itself (an input passed
// through, or an element a cell holds) is copied instead.
static mxArray *take_output(Call &call, mxArray *output)
{
    checked(output, "plhs");
    if (output->owner != Owner::Call || output->call_id != call.id) return duplicate(output);
    list_remove(output->link);
    output->owner = Owner::Caller;
    output->call_id = 0;
    return output;
}

// --- Builders and readers ---

mxArray *make_char(std::u16string_view units)
{
    return make_char(units, default_dims({}, units.size()));
}

mxArray *make_char(std::u16string_view units, std::vector<int> dims)
{
    mxArray *array = make_sized(mxCHAR_CLASS, dims, units.size(), "make_char");
    if (!units.empty()) std::memcpy(array->data, units.data(), units.size() * sizeof(mxChar));
    return array;
}

mxArray *make_cell(std::vector<int> dims, std::vector<mxArray *> elements)
{
    mxArray *array = create_array(mxCELL_CLASS, static_cast<int>(dims.size()), dims.data());
    if (elements.empty()) return array;
    if (elements.size() != array->count)
        misuse("make_cell: %zu elements for dimensions of %zu elements", elements.size(), array->count);
    for (size_t i = 0; i < elements.size(); ++i)
        if (elements[i]) mxSetCell_700(array, static_cast<int>(i), elements[i]);
    return array;
}

// Numeric and logical builders differ only in class and element type.
template <typename Element, typename Value>
static mxArray *make_values(mxClassID cls, const std::vector<Value> &values, const std::vector<int> &dims,
                            const char *builder)
{
    mxArray *array = make_sized(cls, default_dims(dims, values.size()), values.size(), builder);
    std::copy(values.begin(), values.end(), static_cast<Element *>(array->data));
    return array;
}

mxArray *make_double(std::vector<double> values, std::vector<int> dims)
{
    return make_values<double>(mxDOUBLE_CLASS, values, dims, "make_double");
}

mxArray *make_uint32(std::vector<uint32_t> values, std::vector<int> dims)
{
    return make_values<uint32_t>(mxUINT32_CLASS, values, dims, "make_uint32");
}

mxArray *make_int32(std::vector<int32_t> values, std::vector<int> dims)
{
    return make_values<int32_t>(mxINT32_CLASS, values, dims, "make_int32");
}

mxArray *make_logical(std::vector<bool> values, std::vector<int> dims)
{
    return make_values<mxLogical>(mxLOGICAL_CLASS, values, dims, "make_logical");
}

mxArray *make_empty(mxClassID cls, std::vector<int> dims)
{
    return create_array(cls, static_cast<int>(dims.size()), dims.data());
}

mxArray *make_struct() { return mxCreateStructMatrix_700(1, 1, 0, nullptr); }

void destroy(mxArray *array) { mxDestroyArray(array); }

void set_reported_count(mxArray *array, size_t count) { checked(array, "set_reported_count")->reported = count; }

std::u16string char_units(const mxArray *array)
{
    const mxArray *source = checked(array, "char_units");
    if (source->cls != mxCHAR_CLASS) misuse("char_units: the array is not char");
    return std::u16string(static_cast<const char16_t *>(source->data), source->count);
}

std::vector<int> dims(const mxArray *array)
{
    const mxArray *source = checked(array, "dims");
    return std::vector<int>(source->dims, source->dims + source->ndim);
}

template <typename T> static void append(std::vector<double> &out, const void *data, size_t count)
{
    const T *values = static_cast<const T *>(data);
    for (size_t i = 0; i < count; ++i) out.push_back(static_cast<double>(values[i]));
}

std::vector<double> numbers(const mxArray *array)
{
    const mxArray *source = checked(array, "numbers");
    std::vector<double> out;
    out.reserve(source->count);
    switch (source->cls) {
    case mxLOGICAL_CLASS: append<mxLogical>(out, source->data, source->count); break;
    case mxCHAR_CLASS: append<mxChar>(out, source->data, source->count); break;
    case mxDOUBLE_CLASS: append<double>(out, source->data, source->count); break;
    case mxSINGLE_CLASS: append<float>(out, source->data, source->count); break;
    case mxINT8_CLASS: append<int8_t>(out, source->data, source->count); break;
    case mxUINT8_CLASS: append<uint8_t>(out, source->data, source->count); break;
    case mxINT16_CLASS: append<int16_t>(out, source->data, source->count); break;
    case mxUINT16_CLASS: append<uint16_t>(out, source->data, source->count); break;
    case mxINT32_CLASS: append<int32_t>(out, source->data, source->count); break;
    case mxUINT32_CLASS: append<uint32_t>(out, source->data, source->count); break;
    case mxINT64_CLASS: append<int64_t>(out, source->data, source->count); break;
    case mxUINT64_CLASS: append<uint64_t>(out, source->data, source->count); break;
    default: misuse("numbers: a %s array has no numbers", mxGetClassName(source));
    }
    return out;
}

mxArray *cell_element(const mxArray *array, size_t index)
{
    return mxGetCell_700(array, static_cast<int>(index));
}

// --- Plug-in files ---

std::string function_name(const std::string &path)
{
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i)
        if (platform::is_folder_separator(path[i])) start = i + 1;
    std::string file = path.substr(start);
    size_t dot = file.find_last_of('.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

const char *plugin_extension() { return platform::kPluginExtension; }

Plugin::Plugin(void *handle, Entry entry, std::string path)
    : handle_(handle), entry_(entry), path_(std::move(path)), name_(function_name(path_))
{
}

Plugin::~Plugin() { platform::close_library(handle_); }

std::unique_ptr<Plugin> Plugin::load(const std::string &path, std::string *error)
{
    void *handle = platform::open_library(path, error);
    if (!handle) return nullptr;
    Entry entry = reinterpret_cast<Entry>(platform::find_symbol(handle, "mexFunction"));
    if (!entry) {
        if (error) *error = path + ": no mexFunction exported";
        platform::close_library(handle);
        return nullptr;
    }
    return std::unique_ptr<Plugin>(new Plugin(handle, entry, path));
}

// --- Calls ---

CallResult::CallResult(CallResult &&other) noexcept { *this = std::move(other); }

CallResult &CallResult::operator=(CallResult &&other) noexcept
{
    if (this == &other) return *this;
    for (mxArray *output : outputs) destroy_tree(output);
    ok = other.ok;
    identifier = std::move(other.identifier);
    message = std::move(other.message);
    outputs = std::move(other.outputs);
    other.outputs.clear();
    allocations = other.allocations;
    arrays_created = other.arrays_created;
    leaked_blocks = other.leaked_blocks;
    leaked_arrays = other.leaked_arrays;
    return *this;
}

CallResult::~CallResult()
{
    for (mxArray *output : outputs) destroy_tree(output);
}

CallResult call(Plugin &plugin, const std::vector<const mxArray *> &inputs, CallOptions options)
{
    return call(plugin.entry(), plugin.name(), inputs, options);
}

CallResult call(Entry entry, const std::string &name, const std::vector<const mxArray *> &inputs,
                CallOptions options)
{
    if (options.nlhs > kMaxOutputs) {
        CallResult refused;
        refused.identifier = "MATLAB:TooManyOutputs";
        refused.message = "Too many output arguments.";
        return refused;
    }
    std::vector<const mxArray *> prhs(inputs);
    std::vector<Digest> sums;
    for (const mxArray *input : prhs) {
        checked(input, "call input");
        if (options.check_inputs) sums.push_back(checksum(input));
    }
    if (options.nlhs < 0) misuse("call of \"%s\": negative nlhs %d", name.c_str(), options.nlhs);
    std::vector<mxArray *> plhs(static_cast<size_t>(std::max(options.nlhs, 1)), nullptr);

    Call &host = current_call();
    begin_call(host, name, options);
    bool ok = invoke(host, entry, options.nlhs, plhs.data(), static_cast<int>(prhs.size()), prhs.data());
    host.active = false;

    for (size_t i = 0; i < sums.size(); ++i)
        if (checksum(prhs[i]) != sums[i])
            misuse("plug-in \"%s\" wrote into input %zu (prhs[%zu]); inputs are read-only",
                   name.c_str(), i + 1, i);

    CallResult result;
    result.allocations = host.allocations;
    result.arrays_created = host.arrays_created;
    if (ok && std::count(plhs.begin(), plhs.begin() + options.nlhs, nullptr) != 0) {
        ok = false;
        host.identifier = "MATLAB:unassignedOutputs";
        host.message = "One or more output arguments not assigned during call to \"" + name + "\".";
    }
    result.ok = ok;
    if (ok) {
        for (mxArray *output : plhs)
            if (output) result.outputs.push_back(take_output(host, output));
    } else {
        result.identifier = host.identifier;
        result.message = host.message;
    }
    while (!list_empty(host.arrays))
        result.leaked_arrays += destroy_tree(reinterpret_cast<mxArray *>(host.arrays.next));
    for (; !list_empty(host.blocks); ++result.leaked_blocks) reclaim_block(host.blocks.next);
    return result;
}

} // namespace mexhost
