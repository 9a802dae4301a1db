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

// A unit JSON takes as the byte of the same value: printable ASCII other than '"' and '\\'.
static bool is_plain(char16_t unit) { return unit >= 0x20 && unit < 0x80 && unit != '"' && unit != '\\'; }

void append_json_string(std::string &out, std::u16string_view units)
{
    out += '"';
    for (size_t i = 0; i < units.size();) {
        // Names are mostly plain ASCII: such a run is copied a unit a byte, with no decoding.
        size_t start = i;
        while (i < units.size() && is_plain(units[i])) ++i;
        if (i > start) {
            size_t at = out.size();
            out.resize(at + (i - start));
            for (size_t k = start; k < i; ++k) out[at++] = static_cast<char>(units[k]);
        }
        // The rest up to the next plain unit, by code points: a surrogate pair never holds a
        // plain unit, so the run keeps each pair whole.
        start = i;
        while (i < units.size() && !is_plain(units[i])) ++i;
        each_code_point(units.substr(start, i - start), [&](char32_t cp, bool unpaired) {
            if (unpaired)
                append_hex_escape(out, cp);
            else
                append_json(out, cp);
        });
    }
    out += '"';
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
