// JSON strings for the tools' --json output.
#ifndef STANDIN_TEXT_JSON_H
#define STANDIN_TEXT_JSON_H

#include <string>
#include <string_view>

namespace text {

// A quoted JSON string of UTF-16 units: '"', '\' and control units escaped (\n, \t, \r, \b, \f
// or \u00xx), unpaired surrogates as \udxxx so they stay visible, every other code point as UTF-8.
std::string json_string(std::u16string_view units);
// The same appended to out, for renderers that build one text of many strings.
void append_json_string(std::string &out, std::u16string_view units);

// A quoted JSON string of 8-bit text: valid UTF-8 passes through, any other byte is read as
// Latin-1.
std::string json_string_of_bytes(std::string_view bytes);

} // namespace text

#endif
