// The frame of every export, both families, as statement macros, so every body has the same
// short shape and every log format stays a literal at its call site. The failure macros take
// the failure line as an optional last argument: the current family passes one, the older
// family, which writes no log lines, leaves it out.
#pragma once

#include <cstddef>
#include <initializer_list>

#include "core/call_lock.h"
#include "core/call_log.h"
#include "core/library_state.h"
#include "qxcm/qxcm.h"
#include "settings/properties.h"

namespace qxcm {

// Writes a code to the host's error variable; a null pointer has nowhere to report to.
inline void SetError(int32_t *error, int32_t code)
{
    if (error)
        *error = code;
}

inline bool AllPresent(std::initializer_list<const void *> pointers)
{
    for (const void *p : pointers)
        if (!p)
            return false;
    return true;
}

// The same over an array of the host's output pointers that an operation then fills.
template <typename T, size_t N> bool AllPresent(T *const (&pointers)[N])
{
    for (T *p : pointers)
        if (!p)
            return false;
    return true;
}

} // namespace qxcm

#define QX_CONCAT_(a, b) a##b
#define QX_CONCAT(a, b) QX_CONCAT_(a, b)

// Exports the function `target` a second time under the name being declared.
#define QX_ALIAS_OF(target) __attribute__((alias(#target)))

// Holds the library's lock for the rest of the export (core/call_lock.h); the first statement
// of every export that reaches the slot table, a camera or the call log. The frame macros below
// take it themselves.
#define QX_CALL_LOCK() ::qxcm::CallLock QX_CONCAT(qxCallLock, __LINE__)

// Fails with a code of the library's own and, when given, the failure line ("... NG ERR=%d").
#define QX_FAIL_CODE(code, error, ...)                                                             \
    do {                                                                                           \
        int32_t qxCode = (code);                                                                   \
        ::qxcm::SetError(error, qxCode);                                                           \
        __VA_OPT__(QX_LOG(__VA_ARGS__, qxCode);)                                                   \
        return 0;                                                                                  \
    } while (0)

// Fails with the camera's lastResult and, when given, the failure line.
#define QX_FAIL(c, error, ...) QX_FAIL_CODE((c).lastResult, error __VA_OPT__(, ) __VA_ARGS__)

// API level below 40: `code` and no log line. Without the lock, for open and close, which log
// their entry line first and answer QXERR_API_LEVEL_OPEN.
#define QX_REQUIRE_API_LEVEL(error, code)                                                          \
    if (::qxcm::State().apiLevel < 40)                                                             \
    QX_FAIL_CODE(code, error)

// API level below 40: error -1, no log line.
#define QX_REQUIRE_API40(error)                                                                    \
    QX_CALL_LOCK();                                                                                \
    QX_REQUIRE_API_LEVEL(error, QXERR_API_LEVEL)

// A slot number below the count of cameras found, open or not; otherwise 0x80000807 and no
// result line.
#define QX_REQUIRE_CAMERA(i, error)                                                                \
    if ((i) >= ::qxcm::State().cameraCount)                                                        \
    QX_FAIL_CODE(QXERR_INVALIDHANDLE, error)

// Binds `c` to the open camera of slot `i`; otherwise error 0x80000807 and no result line.
#define QX_REQUIRE_OPEN(c, i, error)                                                               \
    QX_CALL_LOCK();                                                                                \
    if (!::qxcm::IsCameraOpen(i))                                                                  \
        QX_FAIL_CODE(QXERR_INVALIDHANDLE, error);                                                  \
    ::qxcm::CameraContext &c = ::qxcm::State().contexts[i]

// The host's output pointers, as a braced list `({a, b})` or an array `(outputs)`: a null one is
// refused with QXERR_INVALIDPARAM before any device call, with the failure line when given.
#define QX_REQUIRE_OUT(pointers, error, ...)                                                       \
    if (!::qxcm::AllPresent pointers)                                                              \
    QX_FAIL_CODE(QXERR_INVALIDPARAM, error __VA_OPT__(, ) __VA_ARGS__)

// Finds the record of a parameter or property number: a number without a map entry fails with
// QXERR_INVALIDPARAM and no result line; one that names no record fails with the camera's
// lastResult and the failure line when given.
#define QX_REQUIRE_RECORD(r, c, number, error, ...)                                                \
    int32_t r = ::qxcm::FindParameterRecord(c, number);                                            \
    if (r == ::qxcm::kNoParameter)                                                                 \
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error);                                                   \
    if (r == ::qxcm::kNoRecord)                                                                    \
    QX_FAIL(c, error __VA_OPT__(, ) __VA_ARGS__)

// A per-view property addressed outside its four views is refused before any device call.
#define QX_REQUIRE_VIEW(c, r, view, error, ...)                                                    \
    if (!::qxcm::ViewIsAddressable((c).properties[r], view))                                       \
    QX_FAIL_CODE(QXERR_INVALIDVIEW, error __VA_OPT__(, ) __VA_ARGS__)

// The older family refuses any view past the four a record caches, whatever the property.
#define QX_REQUIRE_CACHED_VIEW(view, error)                                                        \
    if ((view) >= static_cast<uint32_t>(::qxcm::kMaxViews))                                        \
    QX_FAIL_CODE(QXERR_INVALIDVIEW, error)
