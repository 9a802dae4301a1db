// Text helpers for tests and benchmarks: units shown printably in failure messages, and the
// ASCII-only case changes the plug-ins and the path tables rely on (A-Z and a-z, nothing else).
#ifndef TESTS_SUPPORT_TEXT_H
#define TESTS_SUPPORT_TEXT_H

#include <string>

namespace support {

// Printable ASCII as it is, every other unit as \uXXXX.
std::string printable(const std::u16string &units);

template <typename Char> std::basic_string<Char> lower_ascii(std::basic_string<Char> text)
{
    for (Char &unit : text)
        if (unit >= 'A' && unit <= 'Z') unit = (Char)(unit + 0x20);
    return text;
}

template <typename Char> std::basic_string<Char> upper_ascii(std::basic_string<Char> text)
{
    for (Char &unit : text)
        if (unit >= 'a' && unit <= 'z') unit = (Char)(unit - 0x20);
    return text;
}

} // namespace support

#endif
