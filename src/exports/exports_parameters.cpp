// Entry points of parameter access and discovery.
#include "exports/frame.h"
#include "settings/parameter_info.h"

using namespace qxcm;

extern "C" {

QXCM_API int32_t QXCM_SETPARAMETER_40(uint32_t i, int32_t parameter, double value, int32_t view,
                                      int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_SETPARAMETER_40 -> i=%d parameter=%d value=%f view=%d\n",
           static_cast<int32_t>(i), parameter, value, view);
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_RECORD(r, c, parameter, error, "%.3f QXCM_SETPARAMETER_40 NG ERR=%d \n");
    QX_REQUIRE_VIEW(c, r, view, error, "%.3f QXCM_SETPARAMETER_40 NG ERR=%d \n");
    if (!SetPropertyValue(c, r, value, view))
        QX_FAIL(c, error, "%.3f QXCM_SETPARAMETER_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SETPARAMETER_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_GETPARAMETER_40(uint32_t i, int32_t parameter, double *value, int32_t view,
                                      int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETPARAMETER_40 -> i=%d parameter=%d view=%d\n", static_cast<int32_t>(i),
           parameter, view);
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_RECORD(r, c, parameter, error, "%.3f QXCM_GETPARAMETER_40 NG ERR=%d \n");
    QX_REQUIRE_VIEW(c, r, view, error, "%.3f QXCM_GETPARAMETER_40 NG ERR=%d \n");
    QX_REQUIRE_OUT(({value}), error, "%.3f QXCM_GETPARAMETER_40 NG ERR=%d \n");
    if (!GetParameterValue(c, r, view, value))
        QX_FAIL(c, error, "%.3f QXCM_GETPARAMETER_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETPARAMETER_40 OK value=%f\n", *value);
    return 1;
}

QXCM_API int32_t QXCM_GETNEXTPARAMETER_40(uint32_t i, char *name, int32_t *functionNumber,
                                          int32_t *functionId, int32_t option, int32_t *error)
{
    QX_REQUIRE_API40(error);
    int32_t passed = functionNumber ? *functionNumber : 0;
    QX_LOG("%.3f QXCM_GETNEXTPARAMETER_40 -> i=%d func_num=%d option=%d\n", static_cast<int32_t>(i),
           passed, option);
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({name, functionNumber, functionId}), error,
                   "%.3f QXCM_GETNEXTPARAMETER_40 NG ERR=%d \n");
    if (!NextParameter(c, passed, name, functionNumber, functionId))
        QX_FAIL(c, error, "%.3f QXCM_GETNEXTPARAMETER_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETNEXTPARAMETER_40 OK func_num=%d func_id=%d name=%s\n", *functionNumber,
           *functionId, name);
    return 1;
}

QXCM_API int32_t QXCM_GETPARAMETERLIMITS_40(uint32_t i, int32_t parameter, int32_t *isList,
                                            double *maxValue, double *minValue, double *step,
                                            double *defaultValue, int32_t *writable, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETPARAMETERLIMITS_40 -> i=%d prop=%d\n", static_cast<int32_t>(i), parameter);
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({isList, maxValue, minValue, step, defaultValue, writable}), error,
                   "%.3f QXCM_GETPARAMETERLIMITS_40 NG ERR=%d \n");
    QX_REQUIRE_RECORD(r, c, parameter, error, "%.3f QXCM_GETPARAMETERLIMITS_40 NG ERR=%d \n");
    if (!GetParameterLimits(c, r, isList, maxValue, minValue, step, defaultValue, writable,
                            nullptr))
        QX_FAIL(c, error, "%.3f QXCM_GETPARAMETERLIMITS_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETPARAMETERLIMITS_40 OK max=%f min=%f step=%f def=%f write=%d\n", *maxValue,
           *minValue, *step, *defaultValue, *writable);
    return 1;
}

QXCM_API int32_t QXCM_GETPARAMETERLIMITS_41(uint32_t i, int32_t parameter, int32_t *isList,
                                            double *maxValue, double *minValue, double *step,
                                            double *defaultValue, int32_t *writable, int32_t *views,
                                            int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETPARAMETERLIMITS_41 -> i=%d prop=%d\n", static_cast<int32_t>(i), parameter);
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({isList, maxValue, minValue, step, defaultValue, writable, views}), error,
                   "%.3f QXCM_GETPARAMETERLIMITS_41 NG ERR=%d \n");
    QX_REQUIRE_RECORD(r, c, parameter, error, "%.3f QXCM_GETPARAMETERLIMITS_41 NG ERR=%d \n");
    if (!GetParameterLimits(c, r, isList, maxValue, minValue, step, defaultValue, writable, views))
        QX_FAIL(c, error, "%.3f QXCM_GETPARAMETERLIMITS_41 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETPARAMETERLIMITS_41 OK max=%f min=%f step=%f def=%f write=%d views=%d\n",
           *maxValue, *minValue, *step, *defaultValue, *writable, *views);
    return 1;
}

QXCM_API int32_t QXCM_GETPARAMETERTEXT_40(uint32_t i, int32_t parameter, char *text, double value,
                                          double *nextValue, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETPARAMETERTEXT_40 -> i=%d prop=%d value=%f\n", static_cast<int32_t>(i),
           parameter, value);
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_RECORD(r, c, parameter, error, "%.3f QXCM_GETPARAMETERTEXT_40 NG ERR=%d \n");
    if (!ParameterListText(c, r, value, text, nextValue))
        QX_FAIL(c, error, "%.3f QXCM_GETPARAMETERTEXT_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETPARAMETERTEXT_40 OK name=%s\n", text);
    return 1;
}

QXCM_API int32_t QXCM_GETVALUETEXT_40(uint32_t i, int32_t parameter, char *text, double value,
                                      int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETVALUETEXT_40 -> i=%d prop=%d value=%f\n", static_cast<int32_t>(i),
           parameter, value);
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_RECORD(r, c, parameter, error, "%.3f QXCM_GETVALUETEXT_40 NG ERR=%d \n");
    if (!ValueListText(c, r, value, text))
        QX_FAIL(c, error, "%.3f QXCM_GETVALUETEXT_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETVALUETEXT_40 OK name=%s\n", text);
    return 1;
}

} // extern "C"
