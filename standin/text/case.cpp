// Windows' upcase table, made once from ICU's simple uppercase mapping: lookups in the per-folder
// index and the registry fold every name, so a table read beats a call into ICU per unit.
#include "case.h"

#include <unicode/uchar.h>

#include <memory>

namespace text {

static const char16_t *upcaseTable()
{
    static const std::unique_ptr<char16_t[]> table = [] {
        std::unique_ptr<char16_t[]> units(new char16_t[0x10000]);
        for (UChar32 c = 0; c < 0x10000; ++c) {
            UChar32 upper = u_toupper(c);
            // "\xD800": surrogates as they stand; a BMP letter whose capital lies outside the BMP, if
            // Unicode ever has one, keeps its own unit rather than half of a pair
            bool kept = (c >= 0xD800 && c <= 0xDFFF) || upper > 0xFFFF;
            units[c] = char16_t(kept ? c : upper);
        }
        return units;
    }();
    return table.get();
}

char16_t upcase(char16_t unit) { return upcaseTable()[unit]; }

std::u16string upcase(std::u16string_view units)
{
    const char16_t *table = upcaseTable();
    std::u16string upper(units);
    for (char16_t &c : upper) c = table[c];
    return upper;
}

bool equalUpcased(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) return false;
    const char16_t *table = upcaseTable();
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && table[a[i]] != table[b[i]]) return false;
    return true;
}

int compareUpcased(std::u16string_view a, std::u16string_view b)
{
    const char16_t *table = upcaseTable();
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        char16_t x = table[a[i]], y = table[b[i]];
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace text
