// Bookkeeping inside libmx: the array and heap-block records, and the one call that may be
// running. Nothing outside libmx sees it: libmex and the call boundary go through mx_control.h.
#ifndef MEXHOST_HOSTSTATE_H
#define MEXHOST_HOSTSTATE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "mex.h"

namespace mexhost::detail {

// Node of an intrusive, circular, doubly linked list: O(1) insertion and removal.
struct Link {
    Link *prev;
    Link *next;
};

inline void list_init(Link &head) { head.prev = head.next = &head; }
inline bool list_empty(const Link &head) { return head.next == &head; }
inline void list_push(Link &head, Link &node)
{
    node.prev = head.prev;
    node.next = &head;
    head.prev->next = &node;
    head.prev = &node;
}
inline void list_remove(Link &node)
{
    node.prev->next = node.next;
    node.next->prev = node.prev;
    node.prev = node.next = &node;
}

// Who answers for an array.
enum class Owner : uint8_t {
    Caller, // made outside a call, an input, or an output handed back: the caller destroys it
    Call,   // made during the running call and not stored in a cell: in the call's list
    Cell,   // held by a cell, which destroys it with itself
};

constexpr uint32_t kArrayMagic = 0x6d784172;

} // namespace mexhost::detail

struct mxArray_tag {
    mexhost::detail::Link link; // first: the list node's address is the array's
    uint32_t magic;
    mexhost::detail::Owner owner;
    mxClassID cls;
    uint64_t call_id; // the call that made it; 0 outside calls
    int ndim;
    int small_dims[2]; // dimensions of a 2-D array; more are stored after the record
    int *dims;
    size_t count;    // elements actually allocated
    size_t reported; // what mxGetNumberOfElements says (tests may inflate it)
    size_t elem_size;
    void *data; // null when count is 0; cells hold mxArray* elements
};

namespace mexhost::detail {

// The running call. Fields written by the plug-in's host operations and read after an error
// jump live here rather than on any stack.
struct Call {
    bool active = false;
    uint64_t id = 0;
    const char *name = "";
    Link arrays;         // arrays made during the call that no cell holds
    Link blocks;         // host heap blocks made during the call and not freed
    size_t requests = 0; // mxMalloc/mxCalloc calls so far, for failure injection
    size_t fail_at = 0;  // the request that gives null; 0 = none
    size_t allocations = 0;
    size_t arrays_created = 0;
    void *jump[5]; // __builtin_setjmp buffer of the call boundary
    std::string identifier;
    std::string message;
};

Call &current_call();

// Reports a plug-in's (or a test's) misuse of the host and aborts the process.
[[noreturn]] void misuse(const char *format, ...)
#if defined(_WIN32)
    __attribute__((format(gnu_printf, 1, 2))) // MinGW's C++ runtime takes the C99 formats
#elif defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Any class and dimensions (normalised like the host: at least two, negative ones as 0,
// trailing singletons beyond the second dropped). Zero-filled; never null.
mxArray *create_array(mxClassID cls, int ndim, const int *dims);
// Destroys an array and every element it holds; returns how many arrays that was.
size_t destroy_tree(mxArray *array);
// A deep copy, owned by whoever makes it (the running call, or the caller outside calls).
mxArray *duplicate(const mxArray *array);
// The array behind a pointer a plug-in passed to `operation`; aborts on null or a non-array.
mxArray *checked(const mxArray *array, const char *operation);
// A host heap block for mxArrayToString: tracked like mxMalloc's but never failing on purpose.
void *allocate_string(size_t bytes);
// Frees one host heap block of the call's list (reclaiming what the plug-in left).
void reclaim_block(Link *block);
// Ends the running call with the error in current_call().identifier/message: jumps to the call
// boundary without running the destructors of the frames in between.
[[noreturn]] void raise_error();

} // namespace mexhost::detail

#endif
