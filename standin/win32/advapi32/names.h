// Registry names as the stand-in keeps them: Unicode in the store (UTF-8 text), compared through
// their upcased form, and converted at the A and W function boundaries.
#ifndef ADVAPI32_NAMES_H
#define ADVAPI32_NAMES_H

#include <string>
#include <string_view>

namespace regnames {

// The ANSI code page of the A functions is the one the stand-in host's mxArrayToString uses: byte
// 0xNN is U+00NN, both ways; a unit above U+00FF has no byte and goes out as '?'.
std::u16string from_ansi(std::string_view bytes);
std::string to_ansi(std::u16string_view units);

// UTF-16 units and the store's text. An unpaired surrogate, which Windows allows in a name, is kept
// in the three-byte form UTF-8 would give its number, so every name comes back unit for unit.
std::string stored(std::u16string_view units);
std::u16string units(std::string_view stored);

// The text two names are compared by: equal exactly when Windows takes them for one name
// ("Café" and "CAFÉ"; "ß" and "SS" stay two names).
std::string folded(std::u16string_view units);

// A name written by an earlier store, which kept what the caller gave it byte for byte: valid
// UTF-8 (as reg took it from a terminal) is read as UTF-8, anything else byte by byte as the A
// functions now read it ("Caf\xE9" from tessaly is "Café").
std::u16string from_earlier_store(std::string_view bytes);

} // namespace regnames

#endif
