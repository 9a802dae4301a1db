/* hello(...): 'hello' with no input; otherwise each input back, in order; in C, as plug-ins may be. */
#include "mex.h"
#include "mx_extra.h"

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    int i;
    if (nrhs == 0) {
        plhs[0] = mxCreateString("hello");
        return;
    }
    if (nlhs > nrhs) mexErrMsgIdAndTxt("hello:outputs", "%d outputs asked of %d inputs", nlhs, nrhs);
    for (i = 0; i < nrhs && i < (nlhs > 0 ? nlhs : 1); ++i) plhs[i] = mxDuplicateArray(prhs[i]);
}
