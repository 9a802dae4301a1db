// The one case rule of the Win32 stand-ins: how Windows upper-cases a name's UTF-16 units before it
// compares file, registry key or value names without regard to case.
#ifndef STANDIN_TEXT_CASE_H
#define STANDIN_TEXT_CASE_H

#include <string>
#include <string_view>

namespace text {

// Each unit through Unicode's simple uppercase mapping (ICU's), as Windows' upcase table does for the
// Basic Multilingual Plane: "é" -> "É", "ÿ" -> "Ÿ", "ß" stays. Surrogate units map to themselves, so a
// character outside the BMP only ever equals itself.
char16_t upcase(char16_t unit);
std::u16string upcase(std::u16string_view units);

// Whether two names are one name to Windows; and their order by upcased units (<0, 0, >0).
bool equalUpcased(std::u16string_view a, std::u16string_view b);
int compareUpcased(std::u16string_view a, std::u16string_view b);

} // namespace text

#endif
