/* qxcm: camera control for scientific cameras.
 *
 * Every function returns 1 on success and 0 on failure (exceptions are noted) and reports the
 * cause of a failure through its error out-parameter, which keeps its value on success. Plain C,
 * usable from C, C++, MATLAB loadlibrary and Python ctypes. */
#ifndef QXCM_QXCM_H
#define QXCM_QXCM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QXCM_BUILDING) && !defined(_WIN32)
#define QXCM_API __attribute__((visibility("default")))
#else
#define QXCM_API
#endif

/* Error codes raised by the library itself; other codes come from the device library. */
#define QXERR_NONE ((int32_t)0x00000000)
#define QXERR_API_LEVEL ((int32_t)0xFFFFFFFF)           /* library not initialised */
#define QXERR_API_LEVEL_OPEN ((int32_t)0x90000101)      /* same, from open and close */
#define QXERR_OPEN_FAILED ((int32_t)0x82001001)         /* the camera could not be opened */
#define QXERR_TIMEOUT ((int32_t)0x80000106)
#define QXERR_ABORT ((int32_t)0x80000102)
#define QXERR_NOMEMORY ((int32_t)0x80000203)
#define QXERR_NOMODULE ((int32_t)0x80000204)
#define QXERR_INVALIDHANDLE ((int32_t)0x80000807)
#define QXERR_INVALIDPARAM ((int32_t)0x80000808)
#define QXERR_INVALIDVIEW ((int32_t)0x8000082A)
#define QXERR_NOTSUPPORT ((int32_t)0x80000F03)
#define QXERR_FAILEDTOOPENVLSEQ ((int32_t)0x84001001)
#define QXERR_FAILEDREADDATA ((int32_t)0x84001004)

/* ---- Initialisation and errors ---- */

/* Opens the call log when log is nonzero, reports the library's and the device library's
 * version texts (64-character buffers, either may be null), initialises the device library and
 * reports the number of cameras. With a camera already open it only reports and returns 1.
 * reinit has no effect. */
QXCM_API int32_t QXCM_INITIALIZE_40(uint32_t *cameraCount, char *libraryVersion,
                                    char *deviceVersion, int32_t reinit, int32_t log,
                                    int32_t *error);
/* Closes every open camera when force is nonzero (refuses while cameras are open otherwise),
 * uninitialises the device library and closes the log. Always returns 1. */
QXCM_API int32_t QXCM_DEINITIALIZE_40(int32_t force);
/* Copies the text of an error code into a buffer of at least 128 characters; returns 0. */
QXCM_API int32_t QXCM_REPORTERROR(int32_t code, char *text);

#ifdef __cplusplus
}
#endif

#endif
