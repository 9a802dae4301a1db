// Conversions of registry names between the A functions' bytes, UTF-16 and the store's UTF-8, and
// the one case rule (the stand-ins' shared upcase table) that compares them.
#include "names.h"

#include <case.h>
#include <utf8.h>

namespace regnames {

std::u16string from_ansi(std::string_view bytes)
{
    std::u16string units(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) units[i] = (unsigned char)bytes[i];
    return units;
}

std::string to_ansi(std::u16string_view units)
{
    std::string bytes(units.size(), '\0');
    for (size_t i = 0; i < units.size(); ++i) bytes[i] = units[i] <= 0xFF ? (char)units[i] : '?';
    return bytes;
}

std::string stored(std::u16string_view units)
{
    std::string text;
    text.reserve(units.size());
    size_t ascii = 0; // most names: one byte per unit, no decoding
    while (ascii < units.size() && units[ascii] < 0x80) text += (char)units[ascii++];
    text::each_code_point(units.substr(ascii),
                          [&](char32_t code_point, bool) { text::append_utf8(text, code_point); });
    return text;
}

// "\xED\xA0\x80": the three bytes of an unpaired surrogate, as stored() writes it.
static bool surrogate_at(std::string_view text, size_t pos, char16_t *unit)
{
    if (text.size() - pos < 3 || (unsigned char)text[pos] != 0xED) return false;
    unsigned char second = (unsigned char)text[pos + 1], third = (unsigned char)text[pos + 2];
    if (second < 0xA0 || second > 0xBF || (third & 0xC0) != 0x80) return false;
    *unit = (char16_t)(0xD000 | ((second & 0x3F) << 6) | (third & 0x3F));
    return true;
}

std::u16string units(std::string_view text)
{
    return text::utf16_decoding(text, [](std::string_view text, size_t pos, std::u16string &units) -> size_t {
        char16_t unit;
        if (surrogate_at(text, pos, &unit)) {
            units += unit;
            return 3;
        }
        units += (unsigned char)text[pos]; // never written by stored(); kept as a byte rather than lost
        return 1;
    });
}

std::string folded(std::u16string_view units)
{
    std::string text;
    text.reserve(units.size());
    for (char16_t unit : units) {
        char16_t upper = text::upcase(unit);
        if (unit >= 0x80 || upper >= 0x80) return stored(text::upcase(units));
        text += (char)upper;
    }
    return text;
}

std::u16string from_earlier_store(std::string_view bytes)
{
    std::u16string units;
    for (size_t i = 0; i < bytes.size();) {
        char32_t code_point;
        size_t length = text::decode_utf8(bytes, i, &code_point);
        if (length == 0) return from_ansi(bytes);
        text::append_utf16(units, code_point);
        i += length;
    }
    return units;
}

} // namespace regnames
