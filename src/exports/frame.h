// The common frame of the current family as statement macros, so every export body has the
// same short shape and every log format stays a literal at its call site.
#pragma once

#include "core/call_lock.h"
#include "core/call_log.h"
#include "core/library_state.h"
#include "qxcm/qxcm.h"

namespace qxcm {

// Writes a code to the host's error variable; a null pointer has nowhere to report to.
inline void SetError(int32_t *error, int32_t code)
{
    if (error)
        *error = code;
}

} // namespace qxcm

#define QX_CONCAT_(a, b) a##b
#define QX_CONCAT(a, b) QX_CONCAT_(a, b)

// Holds the library's lock for the rest of the export (core/call_lock.h); the first statement
// of every export that reaches the slot table, a camera or the call log. The frame macros below
// take it themselves.
#define QX_CALL_LOCK() ::qxcm::CallLock QX_CONCAT(qxCallLock, __LINE__)

// API level below 40: error -1, no log line.
#define QX_REQUIRE_API40(error)                                                                    \
    QX_CALL_LOCK();                                                                                \
    if (::qxcm::State().apiLevel < 40) {                                                           \
        ::qxcm::SetError(error, QXERR_API_LEVEL);                                                  \
        return 0;                                                                                  \
    }                                                                                              \
    static_assert(true)

// Binds `c` to the open camera of slot `i`; otherwise error 0x80000807 and no result line.
#define QX_REQUIRE_OPEN(c, i, error)                                                               \
    QX_CALL_LOCK();                                                                                \
    if (!::qxcm::IsCameraOpen(i)) {                                                                \
        ::qxcm::SetError(error, QXERR_INVALIDHANDLE);                                              \
        return 0;                                                                                  \
    }                                                                                              \
    ::qxcm::CameraContext &c = ::qxcm::State().contexts[i]

// Fails with the camera's lastResult and the given failure line ("... NG ERR=%d ...").
#define QX_FAIL(c, error, format)                                                                  \
    do {                                                                                           \
        int32_t qxCode = (c).lastResult;                                                           \
        ::qxcm::SetError(error, qxCode);                                                           \
        QX_LOG(format, qxCode);                                                                    \
        return 0;                                                                                  \
    } while (0)

// Fails with a code of the library's own and the given failure line.
#define QX_FAIL_CODE(code, error, format)                                                          \
    do {                                                                                           \
        int32_t qxCode = (code);                                                                   \
        ::qxcm::SetError(error, qxCode);                                                           \
        QX_LOG(format, qxCode);                                                                    \
        return 0;                                                                                  \
    } while (0)
