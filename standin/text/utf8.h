// UTF-8 <-> UTF-16 for the stand-ins and their tools: strict decoding for text that must be valid,
// and a lossless mapping for host file names, whose bytes need not be UTF-8.
#ifndef STANDIN_TEXT_UTF8_H
#define STANDIN_TEXT_UTF8_H

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// The UTF-8 sequence at text[pos]: its length in bytes (1 to 4) with *code_point set, or 0 when
// the bytes there are not valid UTF-8 (a stray continuation byte, a cut sequence, an overlong
// form, a surrogate, or beyond U+10FFFF). pos must be inside text.
size_t decode_utf8(std::string_view text, size_t pos, char32_t *code_point);

void append_utf8(std::string &out, char32_t code_point);
void append_utf16(std::u16string &out, char32_t code_point); // a surrogate pair above U+FFFF

// Calls visit(code_point, unpaired) for each code point of UTF-16 units; an unpaired surrogate
// comes as itself with unpaired true.
template <typename Visit> void each_code_point(std::u16string_view units, Visit visit)
{
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t unit = units[i];
        bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            visit(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00), false);
            ++i;
        } else {
            visit(unit, unit >= 0xD800 && unit <= 0xDFFF);
        }
    }
}

// UTF-16 of bytes: valid UTF-8 decoded, and each place that is not handed to
// invalid(bytes, pos, units), which appends what stands for it and returns how many bytes it took
// (at least one).
template <typename Invalid> std::u16string utf16_decoding(std::string_view bytes, Invalid invalid)
{
    std::u16string units;
    units.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        char32_t code_point;
        size_t length = decode_utf8(bytes, i, &code_point);
        if (length > 0)
            append_utf16(units, code_point);
        else
            length = invalid(bytes, i, units);
        i += length;
    }
    return units;
}

// UTF-8 for people to read: unpaired surrogates become U+FFFD.
std::string utf8_from_utf16(std::u16string_view units);

// Host name bytes and UTF-16, both ways without loss: a byte that is not part of valid UTF-8
// becomes the unit 0xDC00 + byte, and comes back as that byte. bytes_from_utf16 is false (with
// `bytes` unspecified) for a unit no byte string gives: an unpaired surrogate outside
// 0xDC80-0xDCFF.
std::u16string utf16_from_bytes(std::string_view bytes);
bool bytes_from_utf16(std::u16string_view units, std::string &bytes);

} // namespace text

#endif
