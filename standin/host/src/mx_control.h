/* What libmx offers the rest of the stand-in host, libmex and the call boundary (mexhost), in C:
 * the running call's record and the array layout stay inside libmx, behind these functions. */
#ifndef MX_CONTROL_H
#define MX_CONTROL_H

#include <stdarg.h>

#include "mex.h"

#if defined(_WIN32)
#ifdef MXHOST_BUILDING_MX
#define MX_CONTROL_API MEX_EXTERN_C __declspec(dllexport)
#else
#define MX_CONTROL_API MEX_EXTERN_C __declspec(dllimport)
#endif
#else
#define MX_CONTROL_API MEX_EXTERN_C __attribute__((visibility("default")))
#endif

typedef void (*mxControlEntry)(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

/* What one call made and left behind. */
typedef struct {
    size_t allocations;    /* host heap blocks made (mxMalloc, mxCalloc, mxArrayToString) */
    size_t arrays_created; /* arrays made, outputs included */
    size_t leaked_blocks;  /* blocks left unfreed, reclaimed */
    size_t leaked_arrays;  /* arrays neither returned nor held by a returned one, reclaimed */
} mxControlCallStats;

/* Runs entry once as a call of the host named `name`: plhs has max(nlhs, 1) slots, null on entry.
 * On success (true) the outputs set are the caller's (a copy for one the call did not make); on
 * error (false) every output is discarded and plhs nulled, and mxControlErrorIdentifier/Message
 * say what was raised. fail_allocation: the N-th mxMalloc/mxCalloc (1-based) gives null, 0 never.
 * check_inputs: checksum the inputs around the call; a change aborts. */
MX_CONTROL_API bool mxControlCall(mxControlEntry entry, const char *name, int nlhs, mxArray **plhs, int nrhs,
                                  const mxArray **prhs, size_t fail_allocation, bool check_inputs,
                                  mxControlCallStats *stats);
/* The error of the last call that failed; valid until the next call. */
MX_CONTROL_API const char *mxControlErrorIdentifier(void);
MX_CONTROL_API const char *mxControlErrorMessage(void);

/* libmex: records the running call's error (printf-style, or a text as it is), then ends the call
 * at its boundary without running the destructors of the frames in between. */
MX_CONTROL_API void mxControlSetError(const char *identifier, const char *format, va_list args);
MX_CONTROL_API void mxControlSetErrorText(const char *identifier, const char *message);
MX_CONTROL_API MEX_NORETURN void mxControlRaiseError(void);

/* Reports misuse of the host (by a plug-in, or by a test) and aborts the process. */
MX_CONTROL_API MEX_NORETURN void mxControlMisuse(const char *message);
/* Makes mxGetNumberOfElements report `count` (e.g. 2^31) without allocating. */
MX_CONTROL_API void mxControlSetReportedCount(mxArray *array, size_t count);

#endif
