// Names that GetFullPathNameW gives back unchanged, told apart from the rest without the normaliser:
// most names a program passes are already full and clean.
#ifndef STANDIN_KERNEL32_CLEAN_NAME_H
#define STANDIN_KERNEL32_CLEAN_NAME_H

#include <cstddef>

namespace k32 {

// True for "X:\a\b", ended by a 0 unit before `limit`, whose every component is plain (no separator
// run, no trailing dot or space, no unit any rule treats specially, nothing like a device name); its
// length and the last component's offset are then stored. False says nothing: such names go through
// the full rules. `name` must be readable up to its 0 unit or `limit`.
bool isCleanFullName(const char16_t *name, size_t limit, size_t &length, size_t &filePart);

} // namespace k32

#endif
