// Arrays for plug-in inputs that suites and benchmarks build alike. Needs mexhost.
#ifndef TESTS_SUPPORT_ARRAYS_H
#define TESTS_SUPPORT_ARRAYS_H

#include <string>

#include "mexhost.h"

namespace support {

// A 1 x N char row of ASCII text (a name, a key); each byte becomes one unit.
inline mxArray *char_row(const std::string &text)
{
    return mexhost::make_char(std::u16string(text.begin(), text.end()));
}

} // namespace support

#endif
