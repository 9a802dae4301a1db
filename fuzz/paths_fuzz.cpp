// Fuzz target: the path functions of the kernel32 stand-in on built names, with every capacity a
// caller might pass. Invariants: the Win32 return conventions (units written without the
// terminator, or the size needed with it and the buffer untouched, or 0 with the last error
// set), nothing written past the capacity, the same answer in place as out of place,
// full(full(x)) == full(x) (but where a step leaves a device name last) and long(long(x)) == long(x).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <standin/paths.h>
#include <windows.h>

#include "fuzz_check.h"
#include "path_names.h"
#include "path_tree.h"
#include "support/text.h"

namespace {

// Buffers are filled and compared with memset and memcmp: a loop over units in this file would be
// instrumented and cost more than the calls under test.
const unsigned char kCanaryByte = 0xCA;
const char16_t kCanary = 0xCACA;
const size_t kCanaries = 8;
const DWORD kUnsetError = 0xE0E0E0E0;
const DWORD kLarge = 32800; // above any name the functions accept or make

enum Function { Full, Long, Short };
const char *const kFunctionNames[] = {"GetFullPathNameW", "GetLongPathNameW", "GetShortPathNameW"};

struct Answer {
    DWORD value = 0;
    DWORD error = kUnsetError;
    std::u16string text; // the result when the call succeeded
};

} // namespace

// Calls the function with a buffer of `capacity` units followed by canaries, passing the name
// itself or, in place, a copy of it in that buffer.
static Answer call(Function function, const std::u16string &name, DWORD capacity, bool in_place)
{
    size_t size = std::max<size_t>(capacity, in_place ? name.size() + 1 : 0) + kCanaries;
    // Kept between calls: filling a fresh vector is a loop too.
    static std::vector<char16_t> buffer, before;
    if (buffer.size() < size) {
        buffer.resize(size);
        before.resize(size);
    }
    memset(buffer.data(), kCanaryByte, size * sizeof(char16_t));
    if (in_place) memcpy(buffer.data(), name.c_str(), (name.size() + 1) * sizeof(char16_t));
    memcpy(before.data(), buffer.data(), size * sizeof(char16_t));
    auto unchanged = [&](size_t from) {
        return from >= size || memcmp(&buffer[from], &before[from], (size - from) * sizeof(char16_t)) == 0;
    };
    const char16_t *source = in_place ? buffer.data() : name.c_str();
    LPWSTR file_part = nullptr;
    Answer answer;
    SetLastError(kUnsetError);
    switch (function) {
    case Full:
        answer.value = GetFullPathNameW(source, capacity, &buffer[0], &file_part);
        break;
    case Long:
        answer.value = GetLongPathNameW(source, &buffer[0], capacity);
        break;
    case Short:
        answer.value = GetShortPathNameW(source, &buffer[0], capacity);
        break;
    }
    answer.error = GetLastError();
    const char *what = kFunctionNames[function];

    FUZZ_REQUIRE(unchanged(std::max<size_t>(capacity, in_place ? name.size() + 1 : 0)),
                 "%s(\"%s\", %u) wrote past the capacity", what, support::printable(name).c_str(), capacity);
    if (answer.value == 0) {
        FUZZ_REQUIRE(answer.error != kUnsetError && answer.error != ERROR_SUCCESS,
                     "%s(\"%s\", %u) failed without setting the last error", what,
                     support::printable(name).c_str(), capacity);
        FUZZ_REQUIRE(unchanged(0), "%s(\"%s\", %u) failed but wrote its buffer", what,
                     support::printable(name).c_str(), capacity);
    } else if (answer.value < capacity) {
        FUZZ_REQUIRE(buffer[answer.value] == 0, "%s(\"%s\", %u) returned %u with no terminator there", what,
                     support::printable(name).c_str(), capacity, answer.value);
        answer.text.assign(buffer.data(), answer.value);
        if (function == Full && file_part != nullptr) {
            size_t at = (size_t)(file_part - buffer.data());
            FUZZ_REQUIRE(at > 0 && at < answer.value && (buffer[at - 1] == u'\\' || buffer[at - 1] == u'/'),
                         "GetFullPathNameW(\"%s\"): file part at %zu of \"%s\"",
                         support::printable(name).c_str(), at, support::printable(answer.text).c_str());
        }
    } else {
        FUZZ_REQUIRE(unchanged(0), "%s(\"%s\", %u) asked for %u units but wrote its buffer", what,
                     support::printable(name).c_str(), capacity, answer.value);
        FUZZ_REQUIRE(answer.value > capacity, "%s(\"%s\", %u) returned its capacity", what,
                     support::printable(name).c_str(), capacity);
    }
    return answer;
}

// The reference answer with room for anything, then the same call with `capacity`, which must agree.
static Answer check(Function function, const std::u16string &name, DWORD capacity)
{
    const char *what = kFunctionNames[function];
    Answer full = call(function, name, kLarge, false);
    FUZZ_REQUIRE(full.value < kLarge, "%s(\"%s\") needs %u units", what, support::printable(name).c_str(),
                 full.value);
    Answer small = call(function, name, capacity, false);
    if (full.value == 0) {
        FUZZ_REQUIRE(small.value == 0 && small.error == full.error,
                     "%s(\"%s\"): error %u with room, %u/%u with %u units", what,
                     support::printable(name).c_str(), full.error, small.value, small.error, capacity);
    } else if (full.value < capacity) {
        FUZZ_REQUIRE(small.value == full.value && small.text == full.text,
                     "%s(\"%s\"): \"%s\" with room, %u with %u units", what, support::printable(name).c_str(),
                     support::printable(full.text).c_str(), small.value, capacity);
    } else {
        FUZZ_REQUIRE(small.value == full.value + 1, "%s(\"%s\"): %u units with room, asks %u with %u units",
                     what, support::printable(name).c_str(), full.value, small.value, capacity);
    }
    if (function != Full) {
        Answer in_place = call(function, name, capacity, true);
        FUZZ_REQUIRE(in_place.value == small.value && in_place.error == small.error &&
                         in_place.text == small.text,
                     "%s(\"%s\", %u): %u/%u \"%s\" in place, %u/%u \"%s\" out of place", what,
                     support::printable(name).c_str(), capacity, in_place.value, in_place.error,
                     support::printable(in_place.text).c_str(), small.value, small.error,
                     support::printable(small.text).c_str());
    }
    return full;
}

static DWORD capacity_for(uint8_t choice, DWORD needed)
{
    switch (choice % 8) {
    case 0:
        return 0;
    case 1:
        return 1;
    case 2:
        return needed > 0 ? needed - 1 : 0;
    case 3:
        return needed;
    case 4:
        return needed + 1;
    case 5:
        return MAX_PATH;
    case 6:
        return choice; // anything below 256
    default:
        return 32768;
    }
}

static bool is_device_path(const std::u16string &name) { return name.compare(0, 4, u"\\\\.\\") == 0; }

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    make_path_tree();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Bytes in(data, size);
    reset_paths();
    uint8_t op = in.byte();
    uint8_t capacity_choice = in.byte();
    std::u16string name = fuzz_name(in, 64);

    if (op & 0x80) {
        // A change of folder first; whatever it does, the calls below follow the same rules.
        std::u16string folder = fuzz_name(in, 16);
        SetCurrentDirectoryW(folder.c_str());
        DWORD needed = GetCurrentDirectoryW(0, nullptr);
        FUZZ_REQUIRE(needed > 1, "GetCurrentDirectoryW(0, NULL) returned %u", needed);
        std::u16string cwd(needed + kCanaries, kCanary); // short: a loop costs nothing here
        FUZZ_REQUIRE(GetCurrentDirectoryW(needed, &cwd[0]) == needed - 1 && cwd[needed - 1] == 0 &&
                         cwd[needed] == kCanary,
                     "GetCurrentDirectoryW broke its return convention");
    }

    Function function = (Function)(op % 3);
    Answer first = check(function, name, capacity_for(capacity_choice, 0));
    DWORD needed = first.value;
    check(function, name, capacity_for(capacity_choice >> 3, needed));
    if (first.value != 0 && (function == Full || function == Long)) {
        Answer again = check(function, first.text, capacity_for(capacity_choice >> 5, needed));
        // Windows looks for a device name in the name as given, before steps are resolved:
        // "nul\x\.." becomes "C:\...\nul", whose own full name is the device "\\.\nul".
        if (function == Full && is_device_path(again.text) && !is_device_path(first.text)) return 0;
        FUZZ_REQUIRE(again.value == first.value && again.text == first.text,
                     "%s(\"%s\") = \"%s\" but %s of that = \"%s\" (error %u)", kFunctionNames[function],
                     support::printable(name).c_str(), support::printable(first.text).c_str(),
                     kFunctionNames[function], support::printable(again.text).c_str(), again.error);
    }
    return 0;
}
