/* A plug-in file with one export and one import beyond the allowed lists, built the way the
 * plug-ins are: the symbol check must refuse it. */
#include <windows.h>

#include "mex.h"

__declspec(dllexport) unsigned long extraEntry(void) { return GetTickCount(); }

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)nlhs;
    (void)plhs;
    (void)nrhs;
    (void)prhs;
}
