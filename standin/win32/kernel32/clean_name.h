// Names that GetFullPathNameW gives back unchanged, told apart from the rest without the normaliser:
// most names a program passes are already full and clean.
#ifndef STANDIN_KERNEL32_CLEAN_NAME_H
#define STANDIN_KERNEL32_CLEAN_NAME_H

#include <cstddef>

namespace k32 {

// True for "X:\a\b" whose every component is plain (no separator run, no trailing dot or space, no
// unit any rule treats specially, nothing like a device name); `filePart` is then the last component's
// offset. False says nothing: such names go through the full rules.
bool isCleanFullName(const char16_t *name, size_t length, size_t &filePart);

}  // namespace k32

#endif
