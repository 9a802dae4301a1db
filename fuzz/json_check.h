// A strict reader of JSON text (RFC 8259, UTF-8 only) for checking what the renderers write.
#ifndef FUZZ_JSON_CHECK_H
#define FUZZ_JSON_CHECK_H

#include <cstddef>
#include <string_view>

namespace json_check {

// Length of the well-formed UTF-8 sequence at text[at] (no overlong forms, no surrogates, nothing
// past U+10FFFF), or 0.
inline size_t utf8_sequence(std::string_view text, size_t at)
{
    auto byte = [&](size_t i) { return at + i < text.size() ? (unsigned char)text[at + i] : 0u; };
    auto tail = [&](size_t i, unsigned low, unsigned high) { return byte(i) >= low && byte(i) <= high; };
    unsigned lead = byte(0);
    if (at >= text.size()) return 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return tail(1, 0x80, 0xBF) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        unsigned low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
        return tail(1, low, high) && tail(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        unsigned low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
        return tail(1, low, high) && tail(2, 0x80, 0xBF) && tail(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

inline bool valid_utf8(std::string_view text)
{
    for (size_t at = 0, n; at < text.size(); at += n)
        if ((n = utf8_sequence(text, at)) == 0) return false;
    return true;
}

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    // True when the whole text is one JSON value.
    bool document()
    {
        if (!value(0)) return false;
        space();
        return at_ == text_.size();
    }

private:
    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
    void space()
    {
        while (peek() == ' ' || peek() == '\n' || peek() == '\t' || peek() == '\r') ++at_;
    }
    bool literal(std::string_view word)
    {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    bool digits()
    {
        size_t start = at_;
        while (peek() >= '0' && peek() <= '9') ++at_;
        return at_ > start;
    }
    bool number()
    {
        literal("-");
        if (!literal("0") && !digits()) return false;
        if (literal(".") && !digits()) return false;
        if (peek() == 'e' || peek() == 'E') {
            ++at_;
            if (peek() == '+' || peek() == '-') ++at_;
            if (!digits()) return false;
        }
        return true;
    }
    bool string()
    {
        if (!literal("\"")) return false;
        while (at_ < text_.size()) {
            unsigned char c = (unsigned char)text_[at_];
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c < 0x20) return false;
            if (c == '\\') {
                char e = at_ + 1 < text_.size() ? text_[at_ + 1] : '\0';
                at_ += 2;
                if (e == 'u') {
                    for (int i = 0; i < 4; ++i, ++at_) {
                        char h = peek();
                        bool hex = (h >= '0' && h <= '9') || (h >= 'a' && h <= 'f') || (h >= 'A' && h <= 'F');
                        if (!hex) return false;
                    }
                } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos || e == '\0') {
                    return false;
                }
                continue;
            }
            size_t n = utf8_sequence(text_, at_);
            if (n == 0) return false;
            at_ += n;
        }
        return false;
    }
    template <typename Item> bool sequence(char close, Item item, int depth)
    {
        ++at_;
        space();
        if (literal(std::string_view(&close, 1))) return true;
        for (;;) {
            space();
            if (!item(depth)) return false;
            space();
            if (literal(std::string_view(&close, 1))) return true;
            if (!literal(",")) return false;
        }
    }
    bool value(int depth)
    {
        if (depth > 100000) return false;
        space();
        switch (peek()) {
        case '{':
            return sequence(
                '}',
                [this](int d) {
                    if (!string()) return false;
                    space();
                    return literal(":") && value(d + 1);
                },
                depth);
        case '[':
            return sequence(
                ']', [this](int d) { return value(d + 1); }, depth);
        case '"':
            return string();
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return number();
        }
    }

    std::string_view text_;
    size_t at_ = 0;
};

inline bool valid(std::string_view text) { return Reader(text).document(); }

} // namespace json_check

#endif
