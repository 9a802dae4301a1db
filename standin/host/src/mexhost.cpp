// The call boundary of the stand-in host, and the array builders and readers for tests. Only
// libmx's public operations and its control surface are used here: the array layout and the
// call's record stay inside libmx.
#include "mexhost.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "mx_control.h"
#include "platform.h"

namespace mexhost {

// Reports a test's misuse of the builders and readers through the host, which aborts.
[[noreturn]] static void misuse(const char *format, ...)
#if defined(_WIN32)
    __attribute__((format(gnu_printf, 1, 2))) // MinGW's C++ runtime takes the C99 formats
#else
    __attribute__((format(printf, 1, 2)))
#endif
    ;

static void misuse(const char *format, ...)
{
    char message[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    mxControlMisuse(message);
}

// Columns of an array of `count` values when no dimensions are given: 1 x N, or 0 x 0.
static std::vector<int> default_dims(std::vector<int> dims, size_t count)
{
    if (!dims.empty()) return dims;
    if (count == 0) return {0, 0};
    return {1, static_cast<int>(count)};
}

// The elements an array holds, whatever mxGetNumberOfElements has been made to report.
static size_t stored_count(const mxArray *array)
{
    const int *d = mxGetDimensions_700(array);
    size_t count = 1;
    for (int i = 0; i < mxGetNumberOfDimensions_700(array); ++i) count *= static_cast<size_t>(d[i]);
    return count;
}

static mxArray *create(mxClassID cls, const std::vector<int> &dims)
{
    int ndim = static_cast<int>(dims.size());
    switch (cls) {
    case mxCELL_CLASS:
        return mxCreateCellArray_700(ndim, dims.data());
    case mxCHAR_CLASS:
        return mxCreateCharArray_700(ndim, dims.data());
    case mxLOGICAL_CLASS:
        return mxCreateLogicalArray_700(ndim, dims.data());
    case mxSTRUCT_CLASS:
        if (ndim > 2) misuse("make_empty: a struct array has two dimensions here");
        return mxCreateStructMatrix_700(ndim > 0 ? dims[0] : 1, ndim > 1 ? dims[1] : 1, 0, nullptr);
    default:
        return mxCreateNumericArray_700(ndim, dims.data(), cls, mxREAL);
    }
}

static mxArray *make_sized(mxClassID cls, const std::vector<int> &dims, size_t values, const char *builder)
{
    mxArray *array = create(cls, dims);
    if (stored_count(array) != values)
        misuse("%s: %zu values for dimensions of %zu elements", builder, values, stored_count(array));
    return array;
}

// --- Builders and readers ---

mxArray *make_char(std::u16string_view units) { return make_char(units, default_dims({}, units.size())); }

mxArray *make_char(std::u16string_view units, std::vector<int> dims)
{
    mxArray *array = make_sized(mxCHAR_CLASS, dims, units.size(), "make_char");
    if (!units.empty()) std::memcpy(mxGetData(array), units.data(), units.size() * sizeof(mxChar));
    return array;
}

mxArray *make_cell(std::vector<int> dims, std::vector<mxArray *> elements)
{
    mxArray *array = create(mxCELL_CLASS, dims);
    if (elements.empty()) return array;
    if (elements.size() != stored_count(array))
        misuse("make_cell: %zu elements for dimensions of %zu elements", elements.size(),
               stored_count(array));
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
    std::copy(values.begin(), values.end(), static_cast<Element *>(mxGetData(array)));
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

mxArray *make_empty(mxClassID cls, std::vector<int> dims) { return create(cls, dims); }

mxArray *make_struct() { return mxCreateStructMatrix_700(1, 1, 0, nullptr); }

void destroy(mxArray *array) { mxDestroyArray(array); }

void set_reported_count(mxArray *array, size_t count) { mxControlSetReportedCount(array, count); }

std::u16string char_units(const mxArray *array)
{
    if (mxGetClassID(array) != mxCHAR_CLASS) misuse("char_units: the array is not char");
    return std::u16string(static_cast<const char16_t *>(mxGetData(array)), stored_count(array));
}

std::vector<int> dims(const mxArray *array)
{
    const int *d = mxGetDimensions_700(array);
    return std::vector<int>(d, d + mxGetNumberOfDimensions_700(array));
}

template <typename T> static void append(std::vector<double> &out, const void *data, size_t count)
{
    const T *values = static_cast<const T *>(data);
    for (size_t i = 0; i < count; ++i) out.push_back(static_cast<double>(values[i]));
}

std::vector<double> numbers(const mxArray *array)
{
    mxClassID cls = mxGetClassID(array);
    const void *data = mxGetData(array);
    size_t count = stored_count(array);
    std::vector<double> out;
    out.reserve(count);
    switch (cls) {
    case mxLOGICAL_CLASS:
        append<mxLogical>(out, data, count);
        break;
    case mxCHAR_CLASS:
        append<mxChar>(out, data, count);
        break;
    case mxDOUBLE_CLASS:
        append<double>(out, data, count);
        break;
    case mxSINGLE_CLASS:
        append<float>(out, data, count);
        break;
    case mxINT8_CLASS:
        append<int8_t>(out, data, count);
        break;
    case mxUINT8_CLASS:
        append<uint8_t>(out, data, count);
        break;
    case mxINT16_CLASS:
        append<int16_t>(out, data, count);
        break;
    case mxUINT16_CLASS:
        append<uint16_t>(out, data, count);
        break;
    case mxINT32_CLASS:
        append<int32_t>(out, data, count);
        break;
    case mxUINT32_CLASS:
        append<uint32_t>(out, data, count);
        break;
    case mxINT64_CLASS:
        append<int64_t>(out, data, count);
        break;
    case mxUINT64_CLASS:
        append<uint64_t>(out, data, count);
        break;
    default:
        misuse("numbers: a %s array has no numbers", mxGetClassName(array));
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

char path_list_separator() { return platform::kPathListSeparator; }

// The current folder first, as the host looks there before its path.
static std::vector<std::string> search_folders(const char *variable)
{
    std::vector<std::string> folders{"."};
    std::string list = platform::environment(variable);
    size_t start = 0;
    while (start <= list.size() && !list.empty()) {
        size_t end = list.find(platform::kPathListSeparator, start);
        if (end == std::string::npos) end = list.size();
        if (end > start) folders.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    std::string program = platform::executable_folder();
    if (!program.empty()) folders.push_back(program + "/../mex");
    return folders;
}

std::string find_plugin(const std::string &plugin, const char *variable)
{
    const std::string extension = plugin_extension();
    bool has_folder = false;
    for (char c : plugin) has_folder = has_folder || platform::is_folder_separator(c);
    bool has_extension = plugin.size() > extension.size() &&
                         plugin.compare(plugin.size() - extension.size(), extension.size(), extension) == 0;
    if (has_folder || has_extension) return plugin;
    for (const std::string &folder : search_folders(variable)) {
        std::string candidate = folder + "/" + plugin + extension;
        if (platform::is_file(candidate)) return candidate;
    }
    return "";
}

std::vector<std::string> program_arguments(int argc, char **argv) { return platform::arguments(argc, argv); }

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
    for (mxArray *output : outputs) mxDestroyArray(output);
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
    for (mxArray *output : outputs) mxDestroyArray(output);
}

CallResult call(Plugin &plugin, const std::vector<const mxArray *> &inputs, CallOptions options)
{
    return call(plugin.entry(), plugin.name(), inputs, options);
}

CallResult call(Entry entry, const std::string &name, const std::vector<const mxArray *> &inputs,
                CallOptions options)
{
    CallResult result;
    if (options.nlhs > kMaxOutputs) {
        result.identifier = "MATLAB:TooManyOutputs";
        result.message = "Too many output arguments.";
        return result;
    }
    if (options.nlhs < 0) misuse("call of \"%s\": negative nlhs %d", name.c_str(), options.nlhs);
    std::vector<mxArray *> plhs(static_cast<size_t>(std::max(options.nlhs, 1)), nullptr);
    std::vector<const mxArray *> prhs(inputs);
    mxControlCallStats stats{};
    result.ok = mxControlCall(entry, name.c_str(), options.nlhs, plhs.data(), static_cast<int>(prhs.size()),
                              prhs.data(), options.fail_allocation, options.check_inputs, &stats);
    result.allocations = stats.allocations;
    result.arrays_created = stats.arrays_created;
    result.leaked_blocks = stats.leaked_blocks;
    result.leaked_arrays = stats.leaked_arrays;
    if (result.ok) {
        for (mxArray *output : plhs)
            if (output) result.outputs.push_back(output);
    } else {
        result.identifier = mxControlErrorIdentifier();
        result.message = mxControlErrorMessage();
    }
    return result;
}

} // namespace mexhost
