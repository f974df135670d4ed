// The frame of the older family: no API-level test and no log lines. Index tests are
// QX_REQUIRE_OPEN of frame.h; these end a call with an error.
#pragma once

#include <initializer_list>

#include "exports/frame.h"
#include "settings/properties.h"

// Fails with the camera's lastResult.
#define QX_LEGACY_FAIL(c, error)                                                                   \
    do {                                                                                           \
        ::qxcm::SetError(error, (c).lastResult);                                                   \
        return 0;                                                                                  \
    } while (0)

// Fails with a code of the library's own.
#define QX_LEGACY_FAIL_CODE(code, error)                                                           \
    do {                                                                                           \
        ::qxcm::SetError(error, code);                                                             \
        return 0;                                                                                  \
    } while (0)

// Finds the record of a parameter or property number: a negative or unmapped number below 128
// fails with QXERR_INVALIDPARAM, a number that names no record with the camera's lastResult.
#define QX_LEGACY_REQUIRE_RECORD(r, c, number, error)                                              \
    int32_t r = ::qxcm::FindParameterRecord(c, number);                                            \
    if (r == ::qxcm::kNoParameter)                                                                 \
        QX_LEGACY_FAIL_CODE(QXERR_INVALIDPARAM, error);                                            \
    if (r == ::qxcm::kNoRecord)                                                                    \
    QX_LEGACY_FAIL(c, error)

// A record caches four views; any other view is refused before a device call.
#define QX_LEGACY_REQUIRE_VIEW(view, error)                                                        \
    if ((view) >= static_cast<uint32_t>(::qxcm::kMaxViews))                                        \
    QX_LEGACY_FAIL_CODE(QXERR_INVALIDVIEW, error)

// Output pointers the call writes through; a null one is refused before a device call.
#define QX_LEGACY_REQUIRE_OUT(error, ...)                                                          \
    if (!::qxcm::AllPresent({__VA_ARGS__}))                                                        \
    QX_LEGACY_FAIL_CODE(QXERR_INVALIDPARAM, error)

namespace qxcm {

inline bool AllPresent(std::initializer_list<const void *> pointers)
{
    for (const void *p : pointers)
        if (!p)
            return false;
    return true;
}

} // namespace qxcm
