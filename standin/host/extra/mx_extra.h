/* Operations of the stand-in libmx beyond what the plug-ins use: creating, inspecting and
 * destroying the other classes, for tests, test plug-ins and mexcall. Same link names and C
 * types as the host's 32-bit-dimensions API. */
#ifndef MX_EXTRA_H
#define MX_EXTRA_H

#include "mex.h"

typedef enum { mxREAL, mxCOMPLEX } mxComplexity;

#ifdef __cplusplus
typedef bool mxLogical;
#else
typedef _Bool mxLogical;
#endif

/* Only mxREAL is supported; mxCOMPLEX aborts. */
MEX_API mxArray *mxCreateNumericArray_700(int ndim, const int *dims, mxClassID classid, mxComplexity flag);
MEX_API mxArray *mxCreateDoubleMatrix_700(int m, int n, mxComplexity flag);
MEX_API mxArray *mxCreateDoubleScalar(double value);
MEX_API mxArray *mxCreateLogicalArray_700(int ndim, const int *dims);
/* Structs carry no fields in the stand-in: nfields must be 0. */
MEX_API mxArray *mxCreateStructMatrix_700(int m, int n, int nfields, const char **fieldnames);
/* A 1 x N char row of the bytes of a NUL-terminated string, each byte one unit (Latin-1). */
MEX_API mxArray *mxCreateString(const char *text);
MEX_API mxArray *mxDuplicateArray(const mxArray *array);
/* Destroys the array and what it holds; null is ignored. Aborts on an input, or on an array
 * a cell holds. */
MEX_API void mxDestroyArray(mxArray *array);

MEX_API double *mxGetPr(const mxArray *array);
MEX_API mxLogical *mxGetLogicals(const mxArray *array);
MEX_API size_t mxGetM(const mxArray *array);
MEX_API size_t mxGetN(const mxArray *array);
MEX_API size_t mxGetElementSize(const mxArray *array);
MEX_API bool mxIsEmpty(const mxArray *array);
MEX_API bool mxIsDouble(const mxArray *array);
MEX_API bool mxIsLogical(const mxArray *array);
MEX_API bool mxIsStruct(const mxArray *array);
MEX_API bool mxIsNumeric(const mxArray *array);
MEX_API const char *mxGetClassName(const mxArray *array);

#endif
