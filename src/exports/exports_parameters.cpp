// Entry points of parameter access and discovery.
#include <cstring>
#include <initializer_list>

#include "core/device.h"
#include "exports/frame.h"
#include "settings/properties.h"

using namespace qxcm;

// Finds the record of a parameter: no map entry fails with QXERR_INVALIDPARAM and no result
// line; a function id without a record fails with the camera's lastResult and `failLine`.
#define QX_REQUIRE_RECORD(r, c, parameter, error, failLine)                                        \
    int32_t r = FindParameterRecord(c, parameter);                                                 \
    if (r == kNoParameter) {                                                                       \
        SetError(error, QXERR_INVALIDPARAM);                                                       \
        return 0;                                                                                  \
    }                                                                                              \
    if (r == kNoRecord)                                                                            \
    QX_FAIL(c, error, failLine)

// A per-view property addressed outside its four views is refused before any device call.
#define QX_REQUIRE_VIEW(c, r, view, error, failLine)                                               \
    if (!ViewIsAddressable((c).properties[r], view))                                               \
    QX_FAIL_CODE(QXERR_INVALIDVIEW, error, failLine)

// Copies a list text of the record for `value` into a 32-byte host buffer; the last matching
// entry decides. Returns the matching entry or -1.
static int32_t FindValueText(const PropertyRecord &r, double value)
{
    int32_t match = -1;
    for (int32_t k = 0; k < r.valueTextCount && k < kMaxValueTexts; ++k)
        if (r.textValues[k] == value)
            match = k;
    return match;
}

static void CopyText(char *to, const char *from, size_t capacity)
{
    size_t n = strnlen(from, capacity - 1);
    memcpy(to, from, n);
    to[n] = '\0';
}

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
    if (!value)
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error, "%.3f QXCM_GETPARAMETER_40 NG ERR=%d \n");
    double read = 0.0;
    if (!ReadPropertyValue(c, r, &read, view))
        QX_FAIL(c, error, "%.3f QXCM_GETPARAMETER_40 NG ERR=%d \n");
    *value = read;
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
    if (!name || !functionNumber || !functionId)
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error, "%.3f QXCM_GETNEXTPARAMETER_40 NG ERR=%d \n");
    // The enumeration ends (and a wrapped number never reads) outside the records in use.
    if (passed < -1 || passed + 1 >= c.propertyCount)
        QX_FAIL(c, error, "%.3f QXCM_GETNEXTPARAMETER_40 NG ERR=%d \n");
    int32_t n = passed + 1;
    CopyText(name, c.properties[n].name, 64);
    *functionNumber = n;
    *functionId = static_cast<int32_t>(c.properties[n].propertyId) + kFunctionIdOffset;
    QX_LOG("%.3f QXCM_GETNEXTPARAMETER_40 OK func_num=%d func_id=%d name=%s\n", *functionNumber,
           *functionId, name);
    return 1;
}

struct Limits {
    int32_t isList;
    double maxValue, minValue, step, defaultValue;
    int32_t writable;
    int32_t views;
};

enum class LimitsOutcome { Ok, NoParameter, Failed };

// The limits of a parameter, refreshed from the device first. On Failed, *code holds the error.
static LimitsOutcome ReadLimits(CameraContext &c, int32_t parameter, bool withViews, Limits &out,
                                int32_t *code)
{
    int32_t r = FindParameterRecord(c, parameter);
    if (r == kNoParameter)
        return LimitsOutcome::NoParameter;
    if (r == kNoRecord || !RefreshPropertyRecord(c, r)) {
        *code = c.lastResult;
        return LimitsOutcome::Failed;
    }
    const PropertyRecord &p = c.properties[r];
    out.maxValue = p.maxValue;
    out.minValue = p.minValue;
    out.step = p.stepValue;
    out.defaultValue = p.defaultValue;
    out.isList = p.valueType == VELA_ATTR_TYPE_LIST ? 1 : 0;
    out.writable = p.kind == 2 ? static_cast<int32_t>(p.attributes & VELA_ATTR_WRITABLE) : 1;
    out.views = 1;
    if (withViews && (p.attributes & VELA_ATTR_PER_VIEW)) {
        double n = 0.0;
        Device().VelaGetValue(c.deviceHandle, kPropNumberOfViews, &n);
        out.views = static_cast<int32_t>(n);
    }
    return LimitsOutcome::Ok;
}

static bool AnyNull(std::initializer_list<const void *> pointers)
{
    for (const void *p : pointers)
        if (!p)
            return true;
    return false;
}

static void StoreLimits(const Limits &l, int32_t *isList, double *maxValue, double *minValue,
                        double *step, double *defaultValue, int32_t *writable)
{
    *maxValue = l.maxValue;
    *minValue = l.minValue;
    *step = l.step;
    *defaultValue = l.defaultValue;
    *isList = l.isList;
    *writable = l.writable;
}

QXCM_API int32_t QXCM_GETPARAMETERLIMITS_40(uint32_t i, int32_t parameter, int32_t *isList,
                                            double *maxValue, double *minValue, double *step,
                                            double *defaultValue, int32_t *writable, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETPARAMETERLIMITS_40 -> i=%d prop=%d\n", static_cast<int32_t>(i), parameter);
    QX_REQUIRE_OPEN(c, i, error);
    if (AnyNull({isList, maxValue, minValue, step, defaultValue, writable}))
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error, "%.3f QXCM_GETPARAMETERLIMITS_40 NG ERR=%d \n");
    Limits l{};
    int32_t code = 0;
    switch (ReadLimits(c, parameter, false, l, &code)) {
    case LimitsOutcome::NoParameter:
        SetError(error, QXERR_INVALIDPARAM);
        return 0;
    case LimitsOutcome::Failed:
        QX_FAIL_CODE(code, error, "%.3f QXCM_GETPARAMETERLIMITS_40 NG ERR=%d \n");
    case LimitsOutcome::Ok:
        break;
    }
    StoreLimits(l, isList, maxValue, minValue, step, defaultValue, writable);
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
    if (AnyNull({isList, maxValue, minValue, step, defaultValue, writable, views}))
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error, "%.3f QXCM_GETPARAMETERLIMITS_41 NG ERR=%d \n");
    Limits l{};
    int32_t code = 0;
    switch (ReadLimits(c, parameter, true, l, &code)) {
    case LimitsOutcome::NoParameter:
        SetError(error, QXERR_INVALIDPARAM);
        return 0;
    case LimitsOutcome::Failed:
        QX_FAIL_CODE(code, error, "%.3f QXCM_GETPARAMETERLIMITS_41 NG ERR=%d \n");
    case LimitsOutcome::Ok:
        break;
    }
    StoreLimits(l, isList, maxValue, minValue, step, defaultValue, writable);
    *views = l.views;
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
    const PropertyRecord &p = c.properties[r];
    int32_t k = FindValueText(p, value);
    if (k < 0 || !text || !nextValue)
        QX_FAIL(c, error, "%.3f QXCM_GETPARAMETERTEXT_40 NG ERR=%d \n");
    CopyText(text, p.valueTexts[k], 32);
    *nextValue = k < p.valueTextCount - 1 ? p.textValues[k + 1] : 0.0;
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
    const PropertyRecord &p = c.properties[r];
    int32_t k = FindValueText(p, value);
    if (k < 0 || !text)
        QX_FAIL(c, error, "%.3f QXCM_GETVALUETEXT_40 NG ERR=%d \n");
    CopyText(text, p.valueTexts[k], 32);
    QX_LOG("%.3f QXCM_GETVALUETEXT_40 OK name=%s\n", text);
    return 1;
}

} // extern "C"
