// Entry points of the lookup table and the device features.
#include "exports/frame.h"
#include "settings/features.h"

using namespace qxcm;

extern "C" {

QXCM_API int32_t QXCM_SETLUT_40(uint32_t i, const int32_t *points, int32_t count, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_SETLUT_40 -> i=%d linearlutarray=%d lutpoints=%d\n", static_cast<int32_t>(i),
           points ? points[0] : 0, count);
    QX_REQUIRE_OPEN(c, i, error);
    if (!LutSizeFits(count))
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error, "%.3f QXCM_SETLUT_40 NG ERR=%d \n");
    if (!ApplyLut(c, points, count))
        QX_FAIL(c, error, "%.3f QXCM_SETLUT_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SETLUT_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_SETEMPROTECTION_40(uint32_t i, int32_t mode, int32_t alarm, int32_t level,
                                         int32_t frames, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_SETEMPROTECTION_40 -> i=%d mode=%d alarm=%d level=%d frames=%d\n",
           static_cast<int32_t>(i), mode, alarm, level, frames);
    QX_REQUIRE_OPEN(c, i, error);
    if (!ApplyEmProtection(c, mode, alarm, level, frames))
        QX_FAIL(c, error, "%.3f QXCM_SETEMPROTECTION_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SETEMPROTECTION_40 OK\n");
    return 1;
}

QXCM_API int32_t QXCM_GETEMPROTECTSTATUS_40(uint32_t i, int32_t *status, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETEMPROTECTSTATUS_40 -> i=%d \n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({status}), error, "%.3f QXCM_GETEMPROTECTSTATUS_40 NG ERR=%d \n");
    if (!ReadEmProtectionStatus(c, status))
        QX_FAIL(c, error, "%.3f QXCM_GETEMPROTECTSTATUS_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETEMPROTECTSTATUS_40 OK status=%d\n", *status);
    return 1;
}

QXCM_API int32_t QXCM_GETELECTRONINFO_40(uint32_t i, float *conversion, float *offset,
                                         int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETELECTRONINFO_40 -> i=%d\n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({conversion, offset}), error, "%.3f QXCM_GETELECTRONINFO_40 NG ERR=%d \n");
    if (!ReadElectronInfo(c, conversion, offset))
        QX_FAIL(c, error, "%.3f QXCM_GETELECTRONINFO_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETELECTRONINFO_40 OK c=%f o=%f\n", static_cast<double>(*conversion),
           static_cast<double>(*offset));
    return 1;
}

QXCM_API int32_t QXCM_SENSORCOOLER_40(uint32_t i, int32_t enable, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_SENSORCOOLER_40 -> i=%d enable=%d\n", static_cast<int32_t>(i), enable);
    QX_REQUIRE_OPEN(c, i, error);
    if (!ApplySensorCooler(c, enable))
        QX_FAIL(c, error, "%.3f QXCM_SENSORCOOLER_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SENSORCOOLER_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_TESTPATTERN_40(uint32_t i, int32_t enable, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_TESTPATTERN_40 -> i=%d enable=%d\n", static_cast<int32_t>(i), enable);
    QX_REQUIRE_OPEN(c, i, error);
    if (!ApplyTestPattern(c, enable, nullptr))
        QX_FAIL(c, error, "%.3f QXCM_TESTPATTERN_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_TESTPATTERN_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_TESTPATTERN_41(uint32_t i, int32_t enable, int32_t kind, int32_t option,
                                     int32_t *error)
{
    QX_REQUIRE_API40(error);
    // These lines carry the name of the _40 call.
    QX_LOG("%.3f QXCM_TESTPATTERN_40 -> i=%d enable=%d\n", static_cast<int32_t>(i), enable);
    QX_REQUIRE_OPEN(c, i, error);
    const int32_t parameters[2] = {kind, option};
    if (!ApplyTestPattern(c, enable, parameters))
        QX_FAIL(c, error, "%.3f QXCM_TESTPATTERN_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_TESTPATTERN_40 OK \n");
    return 1;
}

} // extern "C"
