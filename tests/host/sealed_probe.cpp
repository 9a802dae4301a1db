// A plug-in built the way the shipped ones are, but including a header that only tests and tools
// may see (SEALED_HEADER): it must fail to compile, because a plug-in sees mex.h and windows.h alone.
#include SEALED_HEADER

#include "mex.h"

void mexFunction(int, mxArray *[], int, const mxArray *[]) {}
