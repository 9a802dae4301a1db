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

// A new array owned by the caller (free it with mexhost::destroy), or null with *error set.
// The text is UTF-8; char arrays get its UTF-16 units.
mxArray *parse_literal(std::string_view text, LiteralError *error);

// "MESSAGE at column N", then the literal and a caret under the offending character.
std::string describe(std::string_view text, const LiteralError &error);

} // namespace mexcall

#endif
