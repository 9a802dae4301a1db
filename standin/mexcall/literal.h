// MATLAB-style literals for mexcall's arguments: 'text', [1 2;3 4], {...}, cell(m,n),
// uint32(...), int32(...), double(...), logical(...), char(...), zeros(m,n,'CLASS'), struct().
#ifndef MEXCALL_LITERAL_H
#define MEXCALL_LITERAL_H

#include <cstddef>
#include <string>
#include <string_view>

#include "mex.h"

namespace mexcall {

struct LiteralError {
    size_t offset = 0; // byte offset of the offending character in the literal
    std::string message;
};

// More elements than this in one literal is surely a typing slip, not a test input. Every value
// made while a literal is read counts, a cell's slots and what they hold alike, until it is
// gone (the sizes and class name given to zeros and cell, once read).
constexpr size_t kMaxElements = size_t(1) << 26;

// A new array owned by the caller (free it with mexhost::destroy), or null with *error set.
// The text is UTF-8; char arrays get its UTF-16 units. Any bytes are safe to give: what is not
// a literal, or needs more than max_elements elements, or nests deeper than 32 levels, is
// refused with a message before anything of that size is built.
mxArray *parse_literal(std::string_view text, LiteralError *error, size_t max_elements = kMaxElements);

// "MESSAGE at column N", then the literal and a caret under the offending character.
std::string describe(std::string_view text, const LiteralError &error);

} // namespace mexcall

#endif
