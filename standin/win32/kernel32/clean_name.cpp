// Recognises names that are already full and clean, for GetFullPathNameW's fast path. Deliberately
// narrower than the normaliser: whatever it is unsure of, the normaliser decides.
#include "clean_name.h"

static char16_t asciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

// "CON", "nul.txt", "Com1", "LPT\u00B9": a component starting like a device name, in any case.
static bool startsLikeDevice(const char16_t *component, size_t length)
{
    static const char16_t kStems[][4] = {u"CON", u"PRN", u"AUX", u"NUL", u"COM", u"LPT"};
    if (length < 3)
        return false;
    for (const char16_t *stem : kStems)
        if (asciiUpper(component[0]) == stem[0] && asciiUpper(component[1]) == stem[1] &&
            asciiUpper(component[2]) == stem[2])
            return true;
    return false;
}

// Units that separate, name streams or devices, or are wildcards: left to the normaliser.
static bool special(char16_t c)
{
    return c < 0x20 || c == u'/' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' ||
           c == u'>' || c == u'|';
}

bool k32::isCleanFullName(const char16_t *name, size_t length, size_t &filePart)
{
    if (length < 4 || name[1] != u':' || name[2] != u'\\')
        return false;  // not "C:\x"
    if (!((name[0] >= u'A' && name[0] <= u'Z') || (name[0] >= u'a' && name[0] <= u'z')))
        return false;
    size_t start = 3;
    for (size_t i = 3; i <= length; ++i) {
        if (i < length && name[i] != u'\\') {
            if (special(name[i]))
                return false;
            continue;
        }
        size_t size = i - start;
        if (size == 0)
            return false;  // "C:\a\\b", "C:\a\": a run or a trailing separator
        char16_t lastUnit = name[i - 1];
        if (lastUnit == u'.' || lastUnit == u' ')
            return false;  // "C:\a.\b", "C:\a \b", "C:\.."
        if (startsLikeDevice(name + start, size))
            return false;
        filePart = start;
        start = i + 1;
    }
    return true;
}
