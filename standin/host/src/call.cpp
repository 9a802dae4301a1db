// The running call of the stand-in host: its boundary (the jump an error takes back to it), the
// checks around it, and what it left behind. libmex and mexhost reach it through mx_control.h.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hoststate.h"
#include "mx_control.h"

using namespace mexhost::detail;

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
    bool operator!=(const Digest &other) const
    {
        return sum != other.sum || sum_of_sums != other.sum_of_sums;
    }
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
static void run_entry(mxControlEntry entry, int nlhs, mxArray **plhs, int nrhs, const mxArray **prhs)
{
    try {
        entry(nlhs, plhs, nrhs, prhs);
    } catch (...) {
        misuse("a C++ exception left mexFunction");
    }
}

// The only frame that knows the jump buffer: an error raised below returns here with false.
static __attribute__((noinline)) bool invoke(Call &call, mxControlEntry entry, int nlhs, mxArray **plhs,
                                             int nrhs, const mxArray **prhs)
{
    if (__builtin_setjmp(call.jump) != 0) return false;
    run_entry(entry, nlhs, plhs, nrhs, prhs);
    return true;
}

static void begin_call(Call &call, const char *name, size_t fail_allocation)
{
    if (call.active) misuse("a call of \"%s\" started while \"%s\" is running", name, call.name);
    call.active = true;
    ++call.id;
    call.name = name;
    list_init(call.arrays);
    list_init(call.blocks);
    call.requests = 0;
    call.fail_at = fail_allocation;
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

static void format_into(std::string &out, const char *format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        out = format; // an unusable format: keep its text rather than lose the error
        return;
    }
    out.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(&out[0], out.size(), format, args);
    out.resize(static_cast<size_t>(length));
}

bool mxControlCall(mxControlEntry entry, const char *name, int nlhs, mxArray **plhs, int nrhs,
                   const mxArray **prhs, size_t fail_allocation, bool check_inputs, mxControlCallStats *stats)
{
    std::vector<Digest> sums;
    for (int i = 0; i < nrhs; ++i) {
        checked(prhs[i], "call input");
        if (check_inputs) sums.push_back(checksum(prhs[i]));
    }
    if (nlhs < 0) misuse("call of \"%s\": negative nlhs %d", name, nlhs);

    Call &host = current_call();
    begin_call(host, name, fail_allocation);
    bool ok = invoke(host, entry, nlhs, plhs, nrhs, prhs);
    host.active = false;

    for (size_t i = 0; i < sums.size(); ++i)
        if (checksum(prhs[i]) != sums[i])
            misuse("plug-in \"%s\" wrote into input %zu (prhs[%zu]); inputs are read-only", name, i + 1, i);

    *stats = mxControlCallStats{host.allocations, host.arrays_created, 0, 0};
    if (ok && std::count(plhs, plhs + nlhs, nullptr) != 0) {
        ok = false;
        host.identifier = "MATLAB:unassignedOutputs";
        host.message =
            std::string("One or more output arguments not assigned during call to \"") + name + "\".";
    }
    int slots = std::max(nlhs, 1);
    for (int i = 0; i < slots; ++i)
        if (plhs[i]) plhs[i] = ok ? take_output(host, plhs[i]) : nullptr;
    while (!list_empty(host.arrays))
        stats->leaked_arrays += destroy_tree(reinterpret_cast<mxArray *>(host.arrays.next));
    for (; !list_empty(host.blocks); ++stats->leaked_blocks) reclaim_block(host.blocks.next);
    return ok;
}

const char *mxControlErrorIdentifier(void) { return current_call().identifier.c_str(); }

const char *mxControlErrorMessage(void) { return current_call().message.c_str(); }

// The message is formatted into the call's record before the jump, so no frame between the
// raising operation and the call boundary holds anything to destroy.
void mxControlSetError(const char *identifier, const char *format, va_list args)
{
    Call &call = current_call();
    call.identifier = identifier ? identifier : "";
    if (format)
        format_into(call.message, format, args);
    else
        call.message.clear();
}

void mxControlSetErrorText(const char *identifier, const char *message)
{
    Call &call = current_call();
    call.identifier = identifier ? identifier : "";
    call.message = message ? message : "";
}

void mxControlRaiseError(void) { raise_error(); }

void mxControlMisuse(const char *message) { misuse("%s", message); }

void mxControlSetReportedCount(mxArray *array, size_t count)
{
    checked(array, "set_reported_count")->reported = count;
}
