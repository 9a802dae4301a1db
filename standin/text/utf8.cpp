// UTF-8 decoding and encoding, and the two UTF-16 mappings built on them.
#include "utf8.h"

namespace text {

size_t decode_utf8(std::string_view text, size_t pos, char32_t *code_point)
{
    unsigned char lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        *code_point = lead;
        return 1;
    }
    size_t length = (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || length > text.size() - pos) return 0;
    char32_t cp = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        unsigned char next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (next & 0x3F);
    }
    static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    *code_point = cp;
    return length;
}

void append_utf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void append_utf16(std::u16string &out, char32_t cp)
{
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
        return;
    }
    out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
}

std::string utf8_from_utf16(std::u16string_view units)
{
    std::string out;
    out.reserve(units.size());
    each_code_point(units, [&](char32_t cp, bool unpaired) { append_utf8(out, unpaired ? 0xFFFD : cp); });
    return out;
}

std::u16string utf16_from_bytes(std::string_view bytes)
{
    return utf16_decoding(bytes, [](std::string_view bytes, size_t pos, std::u16string &units) -> size_t {
        // "\xff": no UTF-8, kept as a lone low surrogate
        units += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[pos]));
        return 1;
    });
}

bool bytes_from_utf16(std::u16string_view units, std::string &bytes)
{
    bytes.clear();
    bytes.reserve(units.size());
    bool ok = true;
    each_code_point(units, [&](char32_t cp, bool unpaired) {
        if (!unpaired)
            append_utf8(bytes, cp);
        else if (cp >= 0xDC80 && cp <= 0xDCFF)
            bytes += static_cast<char>(cp - 0xDC00);
        else
            ok = false;
    });
    return ok;
}

} // namespace text
