// The stand-in libmex: raising a host error. The message is formatted into the call's record
// before the jump, so no frame between here and the call boundary holds anything to destroy.
// Identifiers are checked as MATLAB checks them, so a plug-in's malformed one shows here first.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "hoststate.h"

using namespace mexhost::detail;

static void format_into(std::string &out, const char *format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        out = format; // an unusable format: keep its text rather than lose the error
        return;
    }
    out.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(&out[0], out.size(), format, args);
    out.resize(static_cast<size_t>(length));
}

static bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

static bool is_digit(char c) { return c >= '0' && c <= '9'; }

// MATLAB's rule: empty, or two or more fields joined by ':', each an ASCII letter followed by
// letters, digits or underscores ("Peltrac:Varnelle:BadNInput"; not "a", "a::b", "a:", "1a:b").
static bool valid_identifier(const char *identifier)
{
    if (*identifier == 0) return true;
    int fields = 0;
    for (const char *c = identifier;; ++c) {
        if (!is_letter(*c)) return false; // a field starts with a letter
        while (is_letter(*c) || is_digit(*c) || *c == '_') ++c;
        ++fields;
        if (*c == 0) return fields >= 2;
        if (*c != ':') return false;
    }
}

// What MATLAB raises in place of an error whose identifier is invalid; the caller's identifier
// and message are dropped.
static const char kInvalidIdentifier[] = "MATLAB:mexapi:invalidErrorIdentifier";
static const char kInvalidIdentifierMessage[] = "The error message identifier is invalid.";

void mexErrMsgIdAndTxt(const char *identifier, const char *format, ...)
{
    Call &call = current_call();
    if (identifier != nullptr && !valid_identifier(identifier)) {
        call.identifier = kInvalidIdentifier;
        call.message = kInvalidIdentifierMessage;
        raise_error();
    }
    call.identifier = identifier ? identifier : "";
    if (format) {
        va_list args;
        va_start(args, format);
        format_into(call.message, format, args);
        va_end(args);
    } else {
        call.message.clear();
    }
    raise_error();
}

void mexErrMsgTxt(const char *message)
{
    Call &call = current_call();
    call.identifier.clear();
    call.message = message ? message : "";
    raise_error();
}
