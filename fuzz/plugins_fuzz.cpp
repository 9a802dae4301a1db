// Fuzz target: both plug-ins through the host's call boundary with random argument lists (any
// class, shape, UTF-16 units, nesting, element counts of 2^31 and more) and failure injection.
// Each call's outcome must equal a step-by-step model of the plug-in: the error identifier and
// message exactly as the tables below spell them, or the output's shape and units; a successful
// call leaves nothing unfreed, and no registry handle stays open.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <standin/paths.h>
#include <standin/registry.h>
#include <windows.h>

#include "cases/orlenda_errors.h"
#include "fuzz_check.h"
#include "mexhost.h"
#include "path_names.h"
#include "path_tree.h"
#include "scratch.h"
#include "support/text.h"

// tessaly's errors (no identifier); the last three are completed with the inputs.
const char kUsage[] = "Four inputs required.\n\nExample:\ntessaly('HKLM','Software\\MyProg','TheValue',33);";
const char kBadTypes[] = "Inputs 1-3 must be a strings and input 4 must be a UINT32 (i.e. DWORD).";
const char kEmptyValue[] = "Input 4 must hold at least one UINT32 value.";
const char kUnassigned[] = "One or more output arguments not assigned during call to \"tessaly\".";

// Pieces of registry names: the roots' names and near misses, separators, format directives,
// Latin-1 and wider units (shown as '?'), a 0 unit (the C string ends there).
const char16_t *const kRegistryPieces[] = {
    u"HKCU", u"HKLM", u"HKCR", u"HKCC", u"HKU",    u"hkcu",   u"HKCU ",      u"HK", u"Software", u"a", u"B",
    u"\\",   u"%s",   u"%n",   u"%%",   u"\u00e9", u"\u0100", u"\U0001F600", u"",   u"x",        u" ",
};

static std::u16string registry_text(Bytes &in)
{
    std::u16string text;
    std::u16string last = u"x";
    size_t pieces = in.below(6);
    for (size_t i = 0; i < pieces; ++i) {
        uint8_t t = in.byte();
        if (t >= 0xF0) {
            size_t times = (size_t)(t - 0xEF) * in.byte() * 4;
            for (size_t k = 0; k < times; ++k) text += last;
        } else if (t == 0xEF) {
            text += u'\0';
        } else {
            last = kRegistryPieces[t % (sizeof kRegistryPieces / sizeof kRegistryPieces[0])];
            text += last;
        }
    }
    return text;
}

static mxArray *char_array(Bytes &in, std::u16string units)
{
    int rows = 1 + (int)in.below(3);
    units.resize(units.size() / rows * rows);
    if (units.empty()) return mexhost::make_empty(mxCHAR_CLASS, {rows % 2, 0});
    return mexhost::make_char(units, {rows, (int)(units.size() / rows)});
}

const mxClassID kOtherClasses[] = {mxDOUBLE_CLASS, mxSINGLE_CLASS, mxINT8_CLASS,   mxUINT8_CLASS,
                                   mxINT16_CLASS,  mxUINT16_CLASS, mxINT32_CLASS,  mxUINT32_CLASS,
                                   mxINT64_CLASS,  mxUINT64_CLASS, mxLOGICAL_CLASS};

static mxArray *argument(Bytes &in, int depth)
{
    mxArray *array;
    switch (in.below(10)) {
    case 0:
    case 1:
        array = char_array(in, fuzz_name(in, 12));
        break;
    case 2:
    case 3:
        array = char_array(in, registry_text(in));
        break;
    case 4: {
        std::vector<uint32_t> values(in.below(3));
        for (uint32_t &v : values) v = in.word();
        array = mexhost::make_uint32(values);
        break;
    }
    case 5: {
        std::vector<int> dims{(int)in.below(4), (int)in.below(4)};
        std::vector<mxArray *> elements((size_t)(dims[0] * dims[1]), nullptr);
        for (mxArray *&element : elements)
            if (depth < 2 && in.byte() % 4 != 0) element = argument(in, depth + 1);
        array = mexhost::make_cell(dims, elements);
        break;
    }
    case 6:
        array = mexhost::make_empty(kOtherClasses[in.below(11)], {(int)in.below(3), (int)in.below(3)});
        break;
    case 7:
        array = mexhost::make_struct();
        break;
    case 8:
        array = mexhost::make_double({(double)in.byte()});
        break;
    default:
        array = mexhost::make_empty(mxCHAR_CLASS, {(int)in.below(2), (int)in.below(2)});
        break;
    }
    // A count the host's 32-bit API cannot hold; a uint32 array keeps a real first element.
    if (in.byte() == 0xA5 && (mxGetClassID(array) != mxUINT32_CLASS || mxGetNumberOfElements(array) > 0)) {
        static const size_t kHuge[] = {0x80000000u, 0x80000001u, 0xFFFFFFFFu, 0x100000000u, SIZE_MAX / 2};
        mexhost::set_reported_count(array, kHuge[in.below(5)]);
    }
    return array;
}

// ---- Orlenda, step by step

namespace {

struct Expected {
    const OrlendaError *failure = nullptr;
    std::u16string row;
};

struct OrlendaModel {
    size_t fail_at;      // the request of the call that gets null; 0 = none
    size_t requests = 0; // mxMalloc/mxCalloc requests so far

    bool refused() { return ++requests == fail_at; }

    Expected name(const mxArray *element)
    {
        Expected e;
        size_t count = element ? mxGetNumberOfElements(element) : 0;
        if (count > 0x7FFFFFFF || count > 8191) return Expected{&BadInputSize, {}};
        std::u16string working = u".";
        if (count > 0) {
            if (refused()) return Expected{&NoMemoryName, {}};
            working = support::lower_ascii(mexhost::char_units(element));
        }
        static std::vector<char16_t> full(40000); // filled once: a loop here would be instrumented
        DWORD len = GetFullPathNameW(working.c_str(), MAX_PATH, full.data(), nullptr);
        if (len == 0) return Expected{&FullNameStatic, {}};
        std::u16string name(full.data());
        if (len > MAX_PATH) {
            if (refused()) return Expected{&NoMemoryBuffer, {}};
            bool unc = working[0] == u'\\' && working.size() > 1 && working[1] == u'\\';
            DWORD again = GetFullPathNameW(working.c_str(), len, full.data(), nullptr);
            if (again == 0) return Expected{&FullNameDynamic, {}};
            // The UNC prefix's final C lands on the first of the full name's two backslashes.
            name = unc ? u"\\\\?\\UNC" + std::u16string(full.data() + 1)
                       : u"\\\\?\\" + std::u16string(full.data());
        }
        std::vector<char16_t> out(MAX_PATH + 1);
        DWORD n = GetLongPathNameW(name.c_str(), out.data(), MAX_PATH);
        if (n > MAX_PATH) return Expected{&LongNameTooLong, {}};
        e.row.assign(out.data(), n);
        return e;
    }
};

std::unique_ptr<mexhost::Plugin> orlenda, tessaly;

} // namespace

static void check_failure(const mexhost::CallResult &result, const char *identifier,
                          const std::string &message)
{
    FUZZ_REQUIRE(!result.ok && result.identifier == identifier && result.message == message,
                 "expected %s \"%s\", got %s %s \"%s\"", identifier, message.c_str(),
                 result.ok ? "success" : "error", result.identifier.c_str(), result.message.c_str());
    FUZZ_REQUIRE(result.outputs.empty(), "outputs survived an error");
}

static void check_row(const mxArray *array, const std::u16string &row)
{
    FUZZ_REQUIRE(mxIsChar(array) && mexhost::dims(array) == (std::vector<int>{1, (int)row.size()}) &&
                     mexhost::char_units(array) == row,
                 "expected the row \"%s\", got \"%s\"", support::printable(row).c_str(),
                 mxIsChar(array) ? support::printable(mexhost::char_units(array)).c_str() : "(not char)");
}

static void call_orlenda(const std::vector<const mxArray *> &inputs, mexhost::CallOptions options)
{
    mexhost::CallResult result = mexhost::call(*orlenda, inputs, options);
    if (inputs.size() != 1 || options.nlhs > 1)
        return check_failure(result, BadNInput.identifier, BadNInput.message);
    const mxArray *input = inputs[0];
    OrlendaModel model{options.fail_allocation};
    const OrlendaError *failure = nullptr;
    std::vector<std::u16string> rows;
    if (mxIsChar(input)) {
        Expected e = model.name(input);
        failure = e.failure;
        rows.push_back(e.row);
    } else if (!mxIsCell(input)) {
        failure = &BadInputType;
    } else if (mxGetNumberOfElements(input) > 0x7FFFFFFF) {
        failure = &BadInputSize;
    } else {
        rows.resize(mxGetNumberOfElements(input));
        for (size_t i = rows.size(); i-- > 0 && !failure;) {
            const mxArray *element = mexhost::cell_element(input, i);
            if (element && !mxIsChar(element)) {
                failure = &BadInputType;
                break;
            }
            Expected e = model.name(element);
            failure = e.failure;
            rows[i] = e.row;
        }
    }
    if (failure) return check_failure(result, failure->identifier, failure->message);

    FUZZ_REQUIRE(result.ok, "expected success, got %s \"%s\"", result.identifier.c_str(),
                 result.message.c_str());
    FUZZ_REQUIRE(result.leaked_blocks == 0 && result.leaked_arrays == 0,
                 "a successful call left %zu blocks, %zu arrays", result.leaked_blocks, result.leaked_arrays);
    FUZZ_REQUIRE(result.outputs.size() == 1, "%zu outputs", result.outputs.size());
    const mxArray *output = result.outputs[0];
    if (mxIsChar(input)) return check_row(output, rows[0]);
    FUZZ_REQUIRE(mxIsCell(output) && mexhost::dims(output) == mexhost::dims(input),
                 "the cell's shape changed");
    for (size_t i = 0; i < rows.size(); ++i) {
        const mxArray *element = mexhost::cell_element(output, i);
        FUZZ_REQUIRE(element != nullptr, "cell element %zu unset", i);
        check_row(element, rows[i]);
    }
}

// ---- tessaly, step by step

// What mxArrayToString gives, as far as C reads it: units up to 0xFF as bytes, others '?'.
static std::string c_string(const mxArray *array)
{
    std::string text;
    for (char16_t unit : mexhost::char_units(array)) {
        if (unit == 0) break;
        text += unit <= 0xFF ? (char)unit : '?';
    }
    return text;
}

// A formatted message as the plug-in's 1024-byte buffer holds it.
static std::string cut(std::string message)
{
    if (message.size() > 1023) message.resize(1023);
    return message;
}

const char *const kRoots[] = {"HKLM", "HKCU", "HKCR", "HKCC", "HKU"};

static void call_tessaly(Bytes &in, const std::vector<const mxArray *> &inputs, mexhost::CallOptions options)
{
    // Registry failures scripted for this call: 1 the create, 2 the value.
    uint8_t scripted = in.below(8);
    if (scripted == 1) StandinRegFailNext("RegCreateKeyExA", ERROR_REGISTRY_IO_FAILED);
    if (scripted == 2) StandinRegFailNext("RegSetValueExA", ERROR_ACCESS_DENIED);
    mexhost::CallResult result = mexhost::call(*tessaly, inputs, options);
    StandinRegFailNext(nullptr, 0);
    FUZZ_REQUIRE(StandinRegOpenHandles() == 0, "tessaly left %ld key handles open", StandinRegOpenHandles());

    if (inputs.size() != 4) return check_failure(result, "", kUsage);
    if (!mxIsChar(inputs[0]) || !mxIsChar(inputs[1]) || !mxIsChar(inputs[2]) ||
        mxGetClassID(inputs[3]) != mxUINT32_CLASS)
        return check_failure(result, "", kBadTypes);
    if (mxGetNumberOfElements(inputs[3]) == 0) return check_failure(result, "", kEmptyValue);
    std::string base = c_string(inputs[0]), key = c_string(inputs[1]), name = c_string(inputs[2]);
    bool known = false;
    for (const char *root : kRoots) known = known || base == root;
    if (!known) return check_failure(result, "", cut("Invalid Base Key specified : '" + base + "'"));

    // An ordinary user's store: only HKCU is writable. Keys and names within the limits work: at
    // most 256 units a level, and 512 levels below \REGISTRY, of which HKCU takes 3 (runs of '\'
    // separate levels).
    bool opens = base == "HKCU" && scripted != 1 && (key.empty() || key[0] != '\\');
    size_t component = 0, depth = 3;
    for (char c : key) {
        component = c == '\\' ? 0 : component + 1;
        if (component == 1) ++depth;
        if (component > 256 || depth > 512) opens = false;
    }
    if (!opens) return check_failure(result, "", cut("Failed to Open/Create Key: '" + key + "'"));
    if (scripted == 2 || name.size() > 16383)
        return check_failure(result, "", cut("Failed to Set Value For Key '" + key + "', Value: " + name));

    if (options.nlhs >= 1)
        check_failure(result, "MATLAB:unassignedOutputs", kUnassigned);
    else
        FUZZ_REQUIRE(result.ok, "expected success, got \"%s\"", result.message.c_str());
    // The three strings the host converted stay with the host, by design; nothing else does.
    FUZZ_REQUIRE(result.allocations == 3 && result.leaked_blocks == 3 && result.leaked_arrays == 0,
                 "%zu blocks made, %zu and %zu arrays left", result.allocations, result.leaked_blocks,
                 result.leaked_arrays);
    HKEY opened;
    FUZZ_REQUIRE(RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS,
                 "the key \"%s\" is not there", key.c_str());
    DWORD type = 0, value = 0, size = sizeof value;
    LONG status = RegQueryValueExA(opened, name.c_str(), nullptr, &type, (BYTE *)&value, &size);
    if (opened != HKEY_CURRENT_USER) RegCloseKey(opened);
    uint32_t first;
    memcpy(&first, mxGetData(inputs[3]), sizeof first);
    FUZZ_REQUIRE(status == ERROR_SUCCESS && type == REG_DWORD && size == 4 && value == first,
                 "\"%s\" in \"%s\": status %ld type %u size %u value %u, expected the DWORD %u", name.c_str(),
                 key.c_str(), (long)status, type, size, value, first);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    make_path_tree();
    StandinRegUseStore((scratch_folder() + "/registry.db").c_str(), FALSE);
    std::string error;
    orlenda = mexhost::Plugin::load(ORLENDA_PLUGIN, &error);
    FUZZ_REQUIRE(orlenda != nullptr, "%s", error.c_str());
    tessaly = mexhost::Plugin::load(TESSALY_PLUGIN, &error);
    FUZZ_REQUIRE(tessaly != nullptr, "%s", error.c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Bytes in(data, size);
    reset_paths();

    FUZZ_REQUIRE(RegDeleteTreeA(HKEY_CURRENT_USER, nullptr) == ERROR_SUCCESS,
                 "cannot empty HKEY_CURRENT_USER");
    uint8_t head = in.byte();
    mexhost::CallOptions options;
    options.nlhs = (head >> 1) & 3;
    options.fail_allocation = (head >> 3) & 7; // 0: no failure
    std::vector<mxArray *> arguments(in.below(6));
    for (mxArray *&argument_slot : arguments) argument_slot = argument(in, 0);
    std::vector<const mxArray *> inputs(arguments.begin(), arguments.end());
    if (head & 1)
        call_tessaly(in, inputs, options);
    else
        call_orlenda(inputs, options);
    for (mxArray *array : arguments) mexhost::destroy(array);
    return 0;
}
