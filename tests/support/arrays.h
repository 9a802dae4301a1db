// Arrays for plug-in inputs that suites and benchmarks build alike. Needs mexhost.
#ifndef TESTS_SUPPORT_ARRAYS_H
#define TESTS_SUPPORT_ARRAYS_H

#include <string>
#include <vector>

#include "mexhost.h"

namespace support {

// A 1 x N char row of ASCII text (a name, a key); each byte becomes one unit.
inline mxArray *char_row(const std::string &text)
{
    return mexhost::make_char(std::u16string(text.begin(), text.end()));
}

// A 1 x N cell of char rows, one per name, as a batch of names reaches a plug-in.
inline mxArray *name_cell(const std::vector<std::u16string> &names)
{
    std::vector<mxArray *> elements;
    elements.reserve(names.size());
    for (const std::u16string &name : names) elements.push_back(mexhost::make_char(name));
    return mexhost::make_cell({1, (int)names.size()}, std::move(elements));
}

} // namespace support

#endif
