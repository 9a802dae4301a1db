// The host heap of the stand-in libmx: mxMalloc, mxCalloc, mxFree. Each block carries a header
// linking it into the running call's list; a set of live pointers vets every mxFree before
// the header is touched, so a foreign or freed pointer is reported instead of corrupting memory.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "hoststate.h"

using namespace mexhost::detail;

namespace {

struct alignas(16) Block {
    Link link;
    size_t size;
};
static_assert(sizeof(Block) % 16 == 0, "user data must stay 16-byte aligned");

// Open addressing with linear probing and backward-shift deletion: O(1) per operation,
// no tombstones, one multiplication per lookup.
class PointerSet {
public:
    void insert(const void *pointer)
    {
        if ((used_ + 1) * 2 > slots_.size()) grow();
        size_t i = home(to_key(pointer));
        while (slots_[i] != 0) i = (i + 1) & mask();
        slots_[i] = to_key(pointer);
        ++used_;
    }

    // False when the pointer is not in the set.
    bool erase(const void *pointer)
    {
        if (slots_.empty()) return false;
        uintptr_t key = to_key(pointer);
        size_t i = home(key);
        while (slots_[i] != key) {
            if (slots_[i] == 0) return false;
            i = (i + 1) & mask();
        }
        for (size_t j = (i + 1) & mask(); slots_[j] != 0; j = (j + 1) & mask()) {
            size_t k = home(slots_[j]);
            // The entry at j may move back to the hole at i unless its home lies in (i, j].
            bool stays = i <= j ? (i < k && k <= j) : (i < k || k <= j);
            if (stays) continue;
            slots_[i] = slots_[j];
            i = j;
        }
        slots_[i] = 0;
        --used_;
        return true;
    }

private:
    static uintptr_t to_key(const void *pointer) { return reinterpret_cast<uintptr_t>(pointer); }
    size_t mask() const { return slots_.size() - 1; }
    size_t home(uintptr_t key) const
    {
        return static_cast<size_t>((static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull) >> shift_);
    }

    void grow()
    {
        std::vector<uintptr_t> old;
        old.swap(slots_);
        size_t capacity = old.empty() ? 1024 : old.size() * 2;
        slots_.assign(capacity, 0);
        shift_ = 64;
        for (size_t c = capacity; c > 1; c >>= 1) --shift_;
        used_ = 0;
        for (uintptr_t key : old)
            if (key != 0) insert(reinterpret_cast<const void *>(key));
    }

    std::vector<uintptr_t> slots_;
    size_t used_ = 0;
    unsigned shift_ = 64;
};

} // namespace

static PointerSet &live_blocks()
{
    static PointerSet *set = new PointerSet; // never destroyed: blocks may outlive static teardown
    return *set;
}

static void *allocate(size_t bytes, bool zero)
{
    if (bytes > SIZE_MAX - sizeof(Block)) return nullptr;
    void *raw = zero ? std::calloc(1, sizeof(Block) + bytes) : std::malloc(sizeof(Block) + bytes);
    if (!raw) return nullptr;
    Block *block = static_cast<Block *>(raw);
    block->size = bytes;
    Call &call = current_call();
    if (call.active) {
        list_push(call.blocks, block->link);
        ++call.allocations;
    } else {
        list_init(block->link);
    }
    void *user = block + 1;
    live_blocks().insert(user);
    return user;
}

// True when the running call's failure injection wants this request to fail.
static bool injected_failure()
{
    Call &call = current_call();
    return call.active && ++call.requests == call.fail_at;
}

namespace mexhost::detail {

void reclaim_block(Link *link)
{
    Block *block = reinterpret_cast<Block *>(link);
    live_blocks().erase(block + 1);
    list_remove(block->link);
    std::free(block);
}

// mxArrayToString's strings: host heap, but outside failure injection (the host never gives null).
void *allocate_string(size_t bytes)
{
    void *block = allocate(bytes, false);
    if (!block) misuse("out of memory for a string of %zu bytes", bytes);
    return block;
}

} // namespace mexhost::detail

void *mxMalloc(size_t bytes)
{
    if (injected_failure()) return nullptr;
    return allocate(bytes, false);
}

void *mxCalloc(size_t count, size_t size)
{
    if (injected_failure()) return nullptr;
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    return allocate(count * size, true);
}

void mxFree(void *pointer)
{
    if (!pointer) return;
    if (!live_blocks().erase(pointer))
        misuse("mxFree(%p): not a live block of the host heap (never given by "
               "mxMalloc/mxCalloc/mxArrayToString, or freed already)",
               pointer);
    Block *block = static_cast<Block *>(pointer) - 1;
    list_remove(block->link);
    std::free(block);
}
