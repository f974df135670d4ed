// Entry points of the older family's settings. None tests the API level and none writes to the
// call log.
#include "exports/frame.h"
#include "legacy/legacy_records.h"
#include "legacy/legacy_settings.h"
#include "settings/area.h"
#include "settings/triggers.h"

using namespace qxcm;

extern "C" {

QXCM_API int32_t QXCM_SETPARAMETER(uint32_t i, int32_t number, double value, uint32_t view,
                                   int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_RECORD(r, c, number, error);
    QX_REQUIRE_CACHED_VIEW(view, error);
    if (!SetLegacyRecordValue(c, r, value, view))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_SETTRIGGER(uint32_t i, int32_t mode, int32_t polarity, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    if (!HasLegacyTriggerRecords(c))
        QX_FAIL_CODE(QXERR_NOTSUPPORT, error);
    if (!IsLegacyTriggerMode(mode))
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error);
    // A camera lacking some of the four records fails at the first missing one, with lastResult.
    if (!ApplyLegacyTrigger(c, mode, polarity))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_SETINPUTTRIGGER(uint32_t i, int32_t mode, int32_t polarity, int32_t,
                                      float delay, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    if (!ApplyLegacyInputTrigger(c, mode, polarity, delay))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_SETOUTPUTTRIGGER(uint32_t i, int32_t mode, int32_t polarity, double period,
                                       double delay, uint32_t channel, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    if (!OutputTriggerTimesFit(mode, period, delay))
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error);
    if (!ApplyOutputTrigger(c, channel, mode, polarity, period, delay, nullptr))
        QX_FAIL(c, error);
    return 1;
}

// The extra argument stands where the current family takes the output's source; it is not read.
QXCM_API int32_t QXCM_SETOUTPUTTRIGGER_A(uint32_t i, int32_t mode, int32_t polarity, double period,
                                         double delay, int32_t, uint32_t channel, int32_t *error)
{
    return QXCM_SETOUTPUTTRIGGER(i, mode, polarity, period, delay, channel, error);
}

QXCM_API int32_t QXCM_SETMASTERPULSE(uint32_t i, int32_t mode, int32_t source, double interval,
                                     int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    // A refused write is reported; the host would otherwise believe a pulse it never gets.
    if (!ApplyMasterPulse(c, mode, source, interval, nullptr))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_SETAREA(uint32_t i, uint32_t hpos, uint32_t vpos, uint32_t hsize,
                              uint32_t vsize, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    if (!ApplySubarray(c, hpos, vpos, hsize, vsize))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_GETAREA(uint32_t i, uint32_t *hpos, uint32_t *vpos, uint32_t *hsize,
                              uint32_t *vsize, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    uint32_t *const outputs[4] = {hpos, vpos, hsize, vsize};
    QX_REQUIRE_OUT((outputs), error);
    if (!ReportSubarray(c, outputs))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_GETAREA_A(uint32_t i, uint32_t *hpos, uint32_t *hposMin, uint32_t *hposMax,
                                uint32_t *hposStep, uint32_t *vpos, uint32_t *vposMin,
                                uint32_t *vposMax, uint32_t *vposStep, uint32_t *hsize,
                                uint32_t *hsizeMin, uint32_t *hsizeMax, uint32_t *hsizeStep,
                                uint32_t *vsize, uint32_t *vsizeMin, uint32_t *vsizeMax,
                                uint32_t *vsizeStep, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    uint32_t *const outputs[16] = {hpos,    hposMin,  hposMax,  hposStep, vpos,     vposMin,
                                   vposMax, vposStep, hsize,    hsizeMin, hsizeMax, hsizeStep,
                                   vsize,   vsizeMin, vsizeMax, vsizeStep};
    QX_REQUIRE_OUT((outputs), error);
    if (!ReportArea(c, outputs))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_SETSCANMODE(uint32_t i, int32_t mode, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    if (c.parameterMap[kParameterScanMode] == -1)
        QX_FAIL_CODE(QXERR_NOTSUPPORT, error);
    if (!SetLegacyRecordValue(c, c.parameterMap[kParameterScanMode], mode, 0))
        QX_FAIL(c, error);
    return 1;
}

// Neither the cooler nor the spot-noise reducer is reached through the older family.
QXCM_API int32_t QXCM_SETCOOLING(uint32_t, int32_t, int32_t *error)
{
    QX_FAIL_CODE(QXERR_NOTSUPPORT, error);
}
QXCM_API int32_t QXCM_SETSPOTNOISEREDUCER(uint32_t i, int32_t value, int32_t *error)
    QX_ALIAS_OF(QXCM_SETCOOLING);

} // extern "C"
