// Windows names built from fuzzer bytes: mostly fragments that mean something to the path
// functions (drives, separators, dots, prefixes, device names, the scratch tree's own long and
// short names), with raw units and long repetitions mixed in.
#ifndef FUZZ_PATH_NAMES_H
#define FUZZ_PATH_NAMES_H

#include <string>

#include "fuzz_check.h"

static const char16_t *const kFragments[] = {
    u"C:",
    u"c:",
    u"D:",
    u"Z:",
    u"\\",
    u"/",
    u".",
    u"..",
    u"...",
    u" ",
    u"\\\\?\\",
    u"\\\\.\\",
    u"\\\\?\\UNC\\",
    u"\\??\\",
    u"\\\\srv\\share",
    u"\\\\SRV\\Share\\",
    u"\\\\other\\x",
    u"\\\\srv",
    u"Program Files",
    u"PROGRA~1",
    u"progra~1",
    u"Data",
    u"DATA",
    u"ReadMe.TXT",
    u"readme.txt",
    u"Quarterly Report.docx",
    u"QUARTE~1.DOC",
    u"quarte~2.doc",
    u"file.txt",
    u"\u00dcn\u00efcode",
    u"\u00fcN\u00cfCODE",
    u"missing",
    u"CON",
    u"nul",
    u"COM1",
    u"LPT\u00b9",
    u"CONIN$",
    u"*",
    u"?",
    u"~",
    u"~1",
    u"a",
    u"x.",
    u"::",
    u"a b.c d",
    u"\\\\.\\C:\\",
    u"\\\\?\\C:\\",
    u"\u00e9",
    u"\u00c9",
    u"\u03a3",
    u"\u03c3",
    u"\U0001F600",
    u"\xD800",
    u"\xDC41",
    u"\t",
};
static const size_t kFragmentCount = sizeof kFragments / sizeof kFragments[0];

// One token per byte: a fragment; 0xE0-0xEF, a raw unit from the next two bytes; 0xF0-0xFF, the
// previous fragment again (t - 0xEF) * next byte times, which reaches past MAX_PATH and 32,767.
// A 0 unit ends the name. At most `tokens` tokens are read.
inline std::u16string fuzz_name(Bytes &in, size_t tokens)
{
    std::u16string name;
    std::u16string last = u"a";
    for (size_t i = 0; i < tokens && !in.empty(); ++i) {
        uint8_t t = in.byte();
        if (t >= 0xF0) {
            size_t times = (size_t)(t - 0xEF) * in.byte();
            for (size_t k = 0; k < times; ++k) name += last;
        } else if (t >= 0xE0) {
            char16_t unit = in.unit();
            if (unit == 0) break;
            name += unit;
        } else if (t == 0xDF) {
            break; // the name ends here, the rest of the input is for what follows it
        } else {
            last = kFragments[t % kFragmentCount];
            name += last;
        }
    }
    return name;
}

#endif
