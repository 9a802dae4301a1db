// Printable text for failure messages.
#include "support/text.h"

#include <cstdio>

namespace support {

std::string printable(const std::u16string &units)
{
    std::string out;
    for (char16_t unit : units) {
        if (unit >= 0x20 && unit < 0x7F) {
            out += (char)unit;
        } else {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04X", (unsigned)unit);
            out += escape;
        }
    }
    return out;
}

} // namespace support
