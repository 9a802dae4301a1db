// JSON string escaping, one rule for every tool.
#include "json.h"

#include <cstdio>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "utf8.h"

namespace text {

static void append_hex_escape(std::string &out, char32_t unit)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(unit & 0xFFFF));
    out += buffer;
}

// One code point as JSON string content.
static void append_json(std::string &out, char32_t cp)
{
    static const char *const kShort[] = {"\\b", "\\t", "\\n", nullptr, "\\f", "\\r"}; // 8 to 13
    if (cp == '"')
        out += "\\\"";
    else if (cp == '\\')
        out += "\\\\";
    else if (cp >= 8 && cp <= 13 && kShort[cp - 8])
        out += kShort[cp - 8];
    else if (cp < 0x20)
        append_hex_escape(out, cp);
    else
        append_utf8(out, cp);
}

// How many of the 16 units at `units` are printable ASCII other than '"' and '\\', counted from
// the first; their bytes are stored at `to` (16 bytes, some past those counted).
static size_t plain_ascii_16(const char16_t *units, char *to)
{
#if defined(__SSE2__)
    __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units));
    __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units + 8));
    // A unit above 0x7FFF packs to 0x00 and one from 0x100 to 0xFF: either fails the test below,
    // as every byte from 0x80 does (negative when compared signed).
    __m128i bytes = _mm_packus_epi16(low, high);
    __m128i special = _mm_or_si128(
        _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20)),
        _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to), bytes);
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
    return mask ? static_cast<size_t>(__builtin_ctz(mask)) : 16;
#else
    size_t n = 0;
    for (; n < 16 && units[n] >= 0x20 && units[n] < 0x80 && units[n] != '"' && units[n] != '\\'; ++n)
        to[n] = static_cast<char>(units[n]);
    return n;
#endif
}

void append_json_string(std::string &out, std::u16string_view units)
{
    // Printable ASCII, the most of any name, is gathered here and added a piece at a time: a
    // unit as its byte, '"' and '\\' escaped with a '\\'.
    char ascii[512];
    size_t used = 0;
    ascii[used++] = '"';
    for (size_t i = 0; i < units.size();) {
        if (units.size() - i >= 16) {
            if (used + 16 + 1 > sizeof ascii) { // one kept for the closing quote
                out.append(ascii, used);
                used = 0;
            }
            size_t plain = plain_ascii_16(units.data() + i, ascii + used);
            used += plain;
            i += plain;
            if (plain == 16) continue;
        }
        char16_t unit = units[i];
        if (unit >= 0x20 && unit < 0x80) {
            if (used + 3 > sizeof ascii) { // two for the unit, one kept for the closing quote
                out.append(ascii, used);
                used = 0;
            }
            if (unit == '"' || unit == '\\') ascii[used++] = '\\';
            ascii[used++] = static_cast<char>(unit);
            ++i;
            continue;
        }
        // Control units and all beyond ASCII, by code points: no surrogate is printable ASCII, so
        // a run of these keeps every pair whole.
        out.append(ascii, used);
        used = 0;
        size_t start = i;
        while (i < units.size() && (units[i] < 0x20 || units[i] >= 0x80)) ++i;
        each_code_point(units.substr(start, i - start), [&](char32_t cp, bool unpaired) {
            if (unpaired)
                append_hex_escape(out, cp);
            else
                append_json(out, cp);
        });
    }
    ascii[used++] = '"';
    out.append(ascii, used);
}

std::string json_string(std::u16string_view units)
{
    std::string out;
    out.reserve(units.size() + 2);
    append_json_string(out, units);
    return out;
}

std::string json_string_of_bytes(std::string_view bytes)
{
    std::string out = "\"";
    out.reserve(bytes.size() + 2);
    for (size_t i = 0; i < bytes.size();) {
        char32_t cp;
        size_t length = decode_utf8(bytes, i, &cp);
        if (length == 0) { // "caf\xe9": Latin-1
            cp = static_cast<unsigned char>(bytes[i]);
            length = 1;
        }
        append_json(out, cp);
        i += length;
    }
    return out + "\"";
}

} // namespace text
