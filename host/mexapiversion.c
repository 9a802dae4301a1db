/* Linked into every Windows plug-in: answers the host's question which array API the file was
 * built for, as the host's own build tool marks its plug-ins. */
#include "mex.h"

/* The 32-bit-dimensions API: the _700 operations the plug-ins import. */
#define MEX_TARGET_API_32BIT_DIMENSIONS 0x07000000u

/* The release code of the host whose conventions these files follow: 0x2017, the year of the
 * first host release that asks a plug-in this question (older hosts never call it). The host
 * reads only the target API; this code is informational. */
#define MEX_BUILT_BY_RELEASE 0x2017u

MEX_EXTERN_C MEX_EXPORT void mexfilerequiredapiversion(unsigned int *built_by_release,
                                                       unsigned int *target_api_version);

void mexfilerequiredapiversion(unsigned int *built_by_release, unsigned int *target_api_version)
{
    *built_by_release = MEX_BUILT_BY_RELEASE;
    *target_api_version = MEX_TARGET_API_32BIT_DIMENSIONS;
}
