// Entry points of the sensor area: sub-array, region lists and the two-view layout.
#include "exports/frame.h"
#include "settings/area.h"

using namespace qxcm;

extern "C" {

QXCM_API int32_t QXCM_SETAREA_40(uint32_t i, int32_t hpos, int32_t vpos, int32_t hsize,
                                 int32_t vsize, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_SETAREA_40 -> i=%d ho=%d vo=%d hw=%d vw=%d\n", static_cast<int32_t>(i), hpos,
           vpos, hsize, vsize);
    QX_REQUIRE_OPEN(c, i, error);
    if (!ApplySubarray(c, hpos, vpos, hsize, vsize))
        QX_FAIL(c, error, "%.3f QXCM_SETAREA_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SETAREA_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_GETAREA_40(uint32_t i, int32_t *hpos, int32_t *hposMin, int32_t *hposMax,
                                 int32_t *hposStep, int32_t *vpos, int32_t *vposMin,
                                 int32_t *vposMax, int32_t *vposStep, int32_t *hsize,
                                 int32_t *hsizeMin, int32_t *hsizeMax, int32_t *hsizeStep,
                                 int32_t *vsize, int32_t *vsizeMin, int32_t *vsizeMax,
                                 int32_t *vsizeStep, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETAREA_40 -> i=%d\n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    int32_t *const outputs[16] = {hpos,    hposMin,  hposMax,  hposStep, vpos,     vposMin,
                                  vposMax, vposStep, hsize,    hsizeMin, hsizeMax, hsizeStep,
                                  vsize,   vsizeMin, vsizeMax, vsizeStep};
    QX_REQUIRE_OUT((outputs), error, "%.3f QXCM_GETAREA_40 NG ERR=%d \n");
    if (!ReportArea(c, outputs))
        QX_FAIL(c, error, "%.3f QXCM_GETAREA_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETAREA_40 OK hov=%d vov=%d hwv=%d vwv=%d\n", *hpos, *vpos, *hsize, *vsize);
    return 1;
}

QXCM_API int32_t QXCM_SETMULTIREGION_40(uint32_t i, const int32_t *regions, int32_t count,
                                        int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_SETMULTIREGION_40 -> i=%d linearregionarray=%d lutpoints=%d\n",
           static_cast<int32_t>(i), regions ? regions[0] : 0, count);
    QX_REQUIRE_OPEN(c, i, error);
    if (!RegionListIsValid(regions, count))
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error, "%.3f QXCM_SETMULTIREGION_40 NG ERR=%d \n");
    if (!ApplyRegionList(c, regions, count))
        QX_FAIL(c, error, "%.3f QXCM_SETMULTIREGION_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SETMULTIREGION_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_SETAREA_PAIRED_40(uint32_t i, int32_t hpos1, int32_t vpos1, int32_t hpos2,
                                        int32_t vpos2, int32_t hsize, int32_t vsize, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_SETAREA_PAIRED_40 -> i=%d sho1=%d svo1=%d sho2=%d svo2=%d shw=%d svw=%d\n",
           static_cast<int32_t>(i), hpos1, vpos1, hpos2, vpos2, hsize, vsize);
    QX_REQUIRE_OPEN(c, i, error);
    if (!ApplyPairedArea(c, PairedArea{hpos1, vpos1, hpos2, vpos2, hsize, vsize}))
        QX_FAIL(c, error, "%.3f QXCM_SETAREA_PAIRED_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SETAREA_PAIRED_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_GETAREA_PAIRED_40(uint32_t i, int32_t *hpos1, int32_t *hpos2,
                                        int32_t *hposMin, int32_t *hposMax, int32_t *hposStep,
                                        int32_t *vpos1, int32_t *vpos2, int32_t *vposMin,
                                        int32_t *vposMax, int32_t *vposStep, int32_t *hsize,
                                        int32_t *hsizeMin, int32_t *hsizeMax, int32_t *hsizeStep,
                                        int32_t *vsize, int32_t *vsizeMin, int32_t *vsizeMax,
                                        int32_t *vsizeStep, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETAREA_PAIRED_40 -> i=%d\n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    int32_t *const outputs[18] = {hpos1,    hpos2,     hposMin, hposMax,  hposStep, vpos1,
                                  vpos2,    vposMin,   vposMax, vposStep, hsize,    hsizeMin,
                                  hsizeMax, hsizeStep, vsize,   vsizeMin, vsizeMax, vsizeStep};
    QX_REQUIRE_OUT((outputs), error, "%.3f QXCM_GETAREA_PAIRED_40 NG ERR=%d \n");
    if (!ReportPairedArea(c, outputs))
        QX_FAIL(c, error, "%.3f QXCM_GETAREA_PAIRED_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETAREA_PAIRED_40 OK hov1=%d vov1=%d hov2=%d vov2=%d hwv=%d vwv=%d\n", *hpos1,
           *vpos1, *hpos2, *vpos2, *hsize, *vsize);
    return 1;
}

} // extern "C"
