// Entry points of input triggers, output triggers and the master pulse.
#include "exports/frame.h"
#include "settings/triggers.h"

using namespace qxcm;

extern "C" {

QXCM_API int32_t QXCM_SETINPUTTRIGGER_40(uint32_t i, int32_t mode, int32_t polarity, int32_t times,
                                         double delay, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_SETINPUTTRIGGER_40 -> i=%d mode=%d polarity=%d times=%d delay=%f\n",
           static_cast<int32_t>(i), mode, polarity, times, delay);
    QX_REQUIRE_OPEN(c, i, error);
    if (!ApplyInputTrigger(c, mode, polarity, delay))
        QX_FAIL(c, error, "%.3f QXCM_SETINPUTTRIGGER_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SETINPUTTRIGGER_40 OK\n");
    return 1;
}

QXCM_API int32_t QXCM_INPUTTRIGGERSOURCE_40(uint32_t i, int32_t source, int32_t polarity,
                                            double delay, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_INPUTTRIGGERSOURCE_40 -> i=%d source=%d, polarity=%d delay=%f\n",
           static_cast<int32_t>(i), source, polarity, delay);
    QX_REQUIRE_OPEN(c, i, error);
    if (!ApplyTriggerSource(c, source, polarity, delay))
        QX_FAIL(c, error, "%.3f QXCM_INPUTTRIGGERSOURCE_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_INPUTTRIGGERSOURCE_40 OK\n");
    return 1;
}

QXCM_API int32_t QXCM_INPUTTRIGGERACTIVE_40(uint32_t i, int32_t active, int32_t option,
                                            int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_INPUTTRIGGERACTIVE_40 -> i=%d active=%d option=%d \n",
           static_cast<int32_t>(i), active, option);
    QX_REQUIRE_OPEN(c, i, error);
    if (!ApplyTriggerActive(c, active, option))
        QX_FAIL(c, error, "%.3f QXCM_INPUTTRIGGERACTIVE_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_INPUTTRIGGERACTIVE_40 OK\n");
    return 1;
}

QXCM_API int32_t QXCM_INPUTTRIGGERADVANCE_40(uint32_t i, int32_t option, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_INPUTTRIGGERADVANCE_40 -> i=%d option=%d\n", static_cast<int32_t>(i), option);
    QX_REQUIRE_OPEN(c, i, error);
    if (!ApplyTriggerAdvance(c, option))
        QX_FAIL(c, error, "%.3f QXCM_INPUTTRIGGERADVANCE_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_INPUTTRIGGERADVANCE_40 OK\n");
    return 1;
}

QXCM_API int32_t QXCM_SETOUTPUTTRIGGER_40(uint32_t i, int32_t mode, int32_t polarity, double period,
                                          double delay, uint32_t source, uint32_t channel,
                                          int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_SETOUTPUTTRIGGER_40 -> i=%d mode=%d polarity=%d period=%f delay=%f "
           "source=%d index=%d\n",
           static_cast<int32_t>(i), mode, polarity, period, delay, static_cast<int32_t>(source),
           static_cast<int32_t>(channel));
    QX_REQUIRE_OPEN(c, i, error);
    if (!OutputTriggerTimesFit(mode, period, delay))
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error, "%.3f QXCM_SETOUTPUTTRIGGER_40 NG ERR=%d \n");
    if (!ApplyOutputTrigger(c, channel, mode, polarity, period, delay, &source))
        QX_FAIL(c, error, "%.3f QXCM_SETOUTPUTTRIGGER_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SETOUTPUTTRIGGER_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_SETMASTERPULSE_40(uint32_t i, int32_t mode, int32_t source, double interval,
                                        int32_t burstCount, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_SETMASTERPULSE_40 -> i=%d mode=%d source=%d interval=%f bursttimes=%d\n",
           static_cast<int32_t>(i), mode, source, interval, burstCount);
    QX_REQUIRE_OPEN(c, i, error);
    // A failed write is reported as a failure, with its code.
    if (!ApplyMasterPulse(c, mode, source, interval, &burstCount))
        QX_FAIL(c, error, "%.3f QXCM_SETMASTERPULSE_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SETMASTERPULSE_40 OK \n");
    return 1;
}

} // extern "C"
