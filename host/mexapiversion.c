/* Linked into every Windows plug-in: answers the host's question which release built the file
 * and for which array API, as the host's own build tool marks its plug-ins. */
#include "mex.h"

/* The 32-bit-dimensions API: the _700 operations the plug-ins import. */
#define MEX_TARGET_API_32BIT_DIMENSIONS 0x07000000u

/* The release that built the file, in the host's own form 0xYYYYr (r = a or b): 0x2017a, as the
 * build tool of the first release that asks this question stamps it (older hosts never call
 * it). The host reads and validates this value too: it accepts only that form, from 0x2016b on. */
#define MEX_BUILT_BY_RELEASE 0x2017au

MEX_EXTERN_C MEX_EXPORT void mexfilerequiredapiversion(unsigned int *built_by_release,
                                                       unsigned int *target_api_version);

void mexfilerequiredapiversion(unsigned int *built_by_release, unsigned int *target_api_version)
{
    *built_by_release = MEX_BUILT_BY_RELEASE;
    *target_api_version = MEX_TARGET_API_32BIT_DIMENSIONS;
}
