// Entry points of the older family's settings. None tests the API level and none writes to the
// call log.
#include "exports/legacy_frame.h"
#include "legacy/legacy_records.h"
#include "legacy/legacy_settings.h"

using namespace qxcm;

// Exports the function `target` a second time under another name.
#define QX_LEGACY_ALIAS_OF(target) __attribute__((alias(#target)))

namespace {

constexpr int32_t kParameterScanMode = 6;

} // namespace

extern "C" {

QXCM_API int32_t QXCM_SETPARAMETER(uint32_t i, int32_t number, double value, uint32_t view,
                                   int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    QX_LEGACY_REQUIRE_RECORD(r, c, number, error);
    QX_LEGACY_REQUIRE_VIEW(view, error);
    if (!SetLegacyRecordValue(c, r, value, view))
        QX_LEGACY_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_SETMASTERPULSE(uint32_t i, int32_t mode, int32_t source, double interval,
                                     int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    // A refused write is reported; the host would otherwise believe a pulse it never gets.
    if (!ApplyLegacyMasterPulse(c, mode, source, interval))
        QX_LEGACY_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_SETSCANMODE(uint32_t i, int32_t mode, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    if (c.parameterMap[kParameterScanMode] == -1)
        QX_LEGACY_FAIL_CODE(QXERR_NOTSUPPORT, error);
    if (!SetLegacyRecordValue(c, c.parameterMap[kParameterScanMode], mode, 0))
        QX_LEGACY_FAIL(c, error);
    return 1;
}

// Neither the cooler nor the spot-noise reducer is reached through the older family.
QXCM_API int32_t QXCM_SETCOOLING(uint32_t, int32_t, int32_t *error)
{
    QX_LEGACY_FAIL_CODE(QXERR_NOTSUPPORT, error);
}
QXCM_API int32_t QXCM_SETSPOTNOISEREDUCER(uint32_t i, int32_t value, int32_t *error)
    QX_LEGACY_ALIAS_OF(QXCM_SETCOOLING);

} // extern "C"
