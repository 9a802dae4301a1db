// The stand-in libmex: raising a host error. The message is formatted into the call's record
// before the jump, so no frame between here and the call boundary holds anything to destroy.
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

void mexErrMsgIdAndTxt(const char *identifier, const char *format, ...)
{
    Call &call = current_call();
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
