// The stand-in libmex: raising a host error. libmx keeps the call's record: the message is
// formatted into it before the jump, so no frame between here and the call boundary holds
// anything to destroy.
// Identifiers are checked as MATLAB checks them, so a plug-in's malformed one shows here first.
#include <cstdarg>

#include "mx_control.h"

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
    if (identifier != nullptr && !valid_identifier(identifier)) {
        mxControlSetErrorText(kInvalidIdentifier, kInvalidIdentifierMessage);
        mxControlRaiseError();
    }
    va_list args;
    va_start(args, format);
    mxControlSetError(identifier, format, args);
    va_end(args);
    mxControlRaiseError();
}

void mexErrMsgTxt(const char *message)
{
    mxControlSetErrorText("", message);
    mxControlRaiseError();
}
