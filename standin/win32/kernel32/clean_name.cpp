// Recognises names that are already full and clean, for GetFullPathNameW's fast path. Deliberately
// narrower than the normaliser: whatever it is unsure of, the normaliser decides.
#include "clean_name.h"

static char16_t asciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

// "CON", "nul.txt", "Com1", "LPT\u00B9": a component starting like a device name, in any case.
static bool startsLikeDevice(const char16_t *component, size_t length)
{
    static const char16_t kStems[][4] = {u"CON", u"PRN", u"AUX", u"NUL", u"COM", u"LPT"};
    if (length < 3) return false;
    for (const char16_t *stem : kStems)
        if (asciiUpper(component[0]) == stem[0] && asciiUpper(component[1]) == stem[1] &&
            asciiUpper(component[2]) == stem[2])
            return true;
    return false;
}

// What an ASCII unit is to this check: separators end a component; units that separate otherwise, name
// streams or devices, or are wildcards are left to the normaliser.
static constexpr unsigned char kPlain = 0, kBackslash = 1, kSpecial = 2, kEnd = 3;

namespace {

struct UnitKinds {
    unsigned char kind[128];
    constexpr UnitKinds() : kind()
    {
        for (int c = 1; c < 0x20; ++c) kind[c] = kSpecial;
        kind[0] = kEnd;
        for (char c : "/:*?\"<>|")
            if (c) kind[int(c)] = kSpecial;
        kind[int('\\')] = kBackslash;
    }
};

} // namespace

static constexpr UnitKinds kKinds;

bool k32::isCleanFullName(const char16_t *name, size_t limit, size_t &length, size_t &filePart)
{
    if (!((name[0] >= u'A' && name[0] <= u'Z') || (name[0] >= u'a' && name[0] <= u'z'))) return false;
    if (name[1] != u':' || name[2] != u'\\' || name[3] == 0) return false; // not "C:\x"
    size_t start = 3;
    for (size_t i = 3; i < limit; ++i) {
        char16_t unit = name[i];
        if (unit > u'\\' && unit != u'|') continue; // lower-case letters and all beyond ASCII: plain
        unsigned char kind = kKinds.kind[unit];
        if (kind == kPlain) continue;
        if (kind == kSpecial) return false;
        if (i == start) return false; // "C:\a\\b", "C:\a\": a run or a trailing separator
        char16_t lastUnit = name[i - 1];
        if (lastUnit == u'.' || lastUnit == u' ') return false; // "C:\a.\b", "C:\a \b", "C:\.."
        if (startsLikeDevice(name + start, i - start)) return false;
        filePart = start;
        if (kind == kEnd) {
            length = i;
            return true;
        }
        start = i + 1;
    }
    return false; // no end within the limit
}
