// JSON string escaping, one rule for every tool.
#include "json.h"

#include <cstdio>

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

void append_json_string(std::string &out, std::u16string_view units)
{
    // Printable ASCII, the most of any name, is gathered here and added a piece at a time: a
    // unit as its byte, '"' and '\\' escaped with a '\\'.
    char ascii[512];
    size_t used = 0;
    ascii[used++] = '"';
    for (size_t i = 0; i < units.size();) {
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
