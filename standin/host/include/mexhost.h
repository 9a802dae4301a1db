// The stand-in host's C++ interface for tests and mexcall: building and reading arrays, loading
// plug-in files, and calling them the way the host does, with what each call left behind.
#ifndef MEXHOST_H
#define MEXHOST_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mex.h"
#include "mx_extra.h"

namespace mexhost {

// Arrays made outside a call belong to the caller: free them with destroy(). Builders take
// ownership of the elements they are given. Dimensions follow the host's rules (at least two,
// trailing singletons beyond the second dropped, negative sizes as 0); a size that does not
// match the number of values aborts.
mxArray *make_char(std::u16string_view units);                                   // 1 x N; "" gives 0 x 0
mxArray *make_char(std::u16string_view units, std::vector<int> dims);            // units column-major
mxArray *make_cell(std::vector<int> dims, std::vector<mxArray *> elements = {}); // nullptr = unset
// Numeric and logical builders: dims default to 1 x N, and to 0 x 0 when there are no values.
mxArray *make_double(std::vector<double> values, std::vector<int> dims = {});
mxArray *make_uint32(std::vector<uint32_t> values, std::vector<int> dims = {});
mxArray *make_int32(std::vector<int32_t> values, std::vector<int> dims = {});
mxArray *make_logical(std::vector<bool> values, std::vector<int> dims = {});
mxArray *make_empty(mxClassID cls, std::vector<int> dims); // zero-filled, e.g. zeros(1,0,'uint32')
mxArray *make_struct();                                    // 1 x 1, no fields
void destroy(mxArray *array);
// Makes mxGetNumberOfElements report `count` (e.g. 2^31) without allocating; data stays as it was.
void set_reported_count(mxArray *array, size_t count);

// Reading arrays.
std::u16string char_units(const mxArray *array); // column-major units
std::vector<int> dims(const mxArray *array);
std::vector<double> numbers(const mxArray *array);         // any numeric, logical or char class
mxArray *cell_element(const mxArray *array, size_t index); // nullptr when unset

using Entry = void (*)(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

// A loaded plug-in file (dlopen / LoadLibraryW); unloaded on destruction.
class Plugin {
public:
    // Null with a message in *error when the file cannot be loaded or has no mexFunction.
    static std::unique_ptr<Plugin> load(const std::string &path, std::string *error);
    ~Plugin();
    Plugin(const Plugin &) = delete;
    Plugin &operator=(const Plugin &) = delete;

    const std::string &name() const { return name_; } // file name without folder and extension
    const std::string &path() const { return path_; }
    Entry entry() const { return entry_; }

private:
    Plugin(void *handle, Entry entry, std::string path);
    void *handle_;
    Entry entry_;
    std::string path_;
    std::string name_;
};

// The function name the host gives a plug-in file: its name without folder and extension.
std::string function_name(const std::string &path);

// The plug-in file extension of the platform, with its dot: ".mexa64" or ".mexw64".
const char *plugin_extension();

// The separator of a folder list in an environment variable: ':' (';' on Windows).
char path_list_separator();

// The file a plug-in argument names, as a tool's command line gives it: a file (a name with a
// folder or with the plug-in extension) as it is, or a function name NAME looked up as
// NAME<extension> in the current folder, in the folders listed in the environment variable
// `variable`, then in the build's plug-in folder (mex/ beside the running program's folder). ""
// when none has it.
std::string find_plugin(const std::string &plugin, const char *variable);

// A program's arguments in UTF-8 (on Windows from the wide command line, which has every
// character the ANSI argv may lack).
std::vector<std::string> program_arguments(int argc, char **argv);

// The most outputs a call may ask for. The host refuses more at once, before making room for
// them: nargout is the caller's count, and a slip of the keyboard must not cost gigabytes.
constexpr int kMaxOutputs = 4096;

struct CallOptions {
    int nlhs = 1;
    size_t fail_allocation = 0; // the N-th mxMalloc/mxCalloc of the call (1-based) gives null; 0 = never
    bool check_inputs = true;   // checksum the inputs around the call; a change aborts
};

struct CallResult { // owns its outputs
    bool ok = false;
    std::string identifier, message; // on error; identifier "" for mexErrMsgTxt
    // On success: plhs[0..max(nlhs,1)-1] that were set, in order. An output the plug-in did not
    // make in this call (an input passed through, or an element of a cell) is a copy.
    std::vector<mxArray *> outputs;
    size_t allocations = 0;    // host heap blocks made during the call (mxMalloc, mxCalloc, mxArrayToString)
    size_t arrays_created = 0; // arrays made during the call (outputs included)
    size_t leaked_blocks = 0;  // heap blocks the plug-in left unfreed (reclaimed by the host)
    // Arrays made during the call that were neither returned nor stored in a returned array
    // (reclaimed by the host). On error every array made during the call counts here.
    size_t leaked_arrays = 0;

    CallResult() = default;
    CallResult(CallResult &&other) noexcept;
    CallResult &operator=(CallResult &&other) noexcept;
    CallResult(const CallResult &) = delete;
    CallResult &operator=(const CallResult &) = delete;
    ~CallResult(); // destroys outputs
};

// Calls the plug-in's mexFunction once, as the host does: plhs has max(nlhs, 1) slots (more than
// kMaxOutputs is refused with MATLAB:TooManyOutputs, and the plug-in is not called); an error
// raised inside ends the call and discards its outputs; every array and block made during the
// call and not handed back is reclaimed. Misuse of the host by the plug-in aborts the process.
CallResult call(Plugin &plugin, const std::vector<const mxArray *> &inputs, CallOptions options = {});
// The same around any entry function (plug-ins compiled into a test). `name` is what errors cite.
CallResult call(Entry entry, const std::string &name, const std::vector<const mxArray *> &inputs,
                CallOptions options = {});

} // namespace mexhost

#endif
