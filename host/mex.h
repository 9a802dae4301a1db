/* What the plug-ins take from the MATLAB host: the entry contract and the libmx/libmex
 * operations, under the link names and C types of the host's 32-bit-dimensions API. */
#ifndef MEX_H
#define MEX_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
#define MEX_EXTERN_C extern "C"
#else
#define MEX_EXTERN_C extern
#endif

#if defined(_WIN32)
#define MEX_EXPORT __declspec(dllexport)
#define MEX_IMPORT __declspec(dllimport)
#else
#define MEX_EXPORT __attribute__((visibility("default")))
#define MEX_IMPORT
#endif

/* The stand-in host builds libmx/libmex itself and defines MEX_BUILDING_HOST; everyone else
 * imports. */
#ifdef MEX_BUILDING_HOST
#define MEX_API MEX_EXTERN_C MEX_EXPORT
#else
#define MEX_API MEX_EXTERN_C MEX_IMPORT
#endif

/* The error functions never return. MATLAB's own mex.h does not say so; defining
 * MEX_NO_NORETURN gives its declarations, so a build can prove the plug-ins need no such mark. */
#if defined(__GNUC__) && !defined(MEX_NO_NORETURN)
#define MEX_NORETURN __attribute__((noreturn))
#else
#define MEX_NORETURN
#endif

typedef struct mxArray_tag mxArray;

/* One UTF-16 code unit of a char array. */
#ifdef __cplusplus
typedef char16_t mxChar;
#else
typedef uint_least16_t mxChar;
#endif

/* The host's class ids, in the host's own order. */
typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS, /* 13 */
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS
} mxClassID;

/* libmx */
MEX_API bool mxIsChar(const mxArray *array);
MEX_API bool mxIsCell(const mxArray *array);
MEX_API mxClassID mxGetClassID(const mxArray *array);
MEX_API size_t mxGetNumberOfElements(const mxArray *array);
MEX_API void *mxGetData(const mxArray *array);
MEX_API char *mxArrayToString(const mxArray *array);
MEX_API int mxGetNumberOfDimensions_700(const mxArray *array);
MEX_API const int *mxGetDimensions_700(const mxArray *array);
MEX_API mxArray *mxCreateCellArray_700(int ndim, const int *dims);
MEX_API mxArray *mxGetCell_700(const mxArray *cell, int index);
MEX_API void mxSetCell_700(mxArray *cell, int index, mxArray *value);
MEX_API mxArray *mxCreateCharArray_700(int ndim, const int *dims);
MEX_API void *mxMalloc(size_t bytes);
MEX_API void *mxCalloc(size_t count, size_t size);
MEX_API void mxFree(void *block);

/* libmex */
MEX_API MEX_NORETURN void mexErrMsgIdAndTxt(const char *identifier, const char *format, ...);
MEX_API MEX_NORETURN void mexErrMsgTxt(const char *message);

/* The entry every plug-in exports. */
MEX_EXTERN_C MEX_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

#endif
