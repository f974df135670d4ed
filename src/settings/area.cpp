// Sub-array, two-view and region-list operations over the device's sub-array properties and
// its older sub-array requests.
#include "settings/area.h"

#include <new>
#include <optional>

#include "common/saturating_cast.h"
#include "core/device_calls.h"
#include "qxcm/qxcm.h"
#include "settings/properties.h"

namespace qxcm {
namespace {

constexpr uint32_t kHpos = 0x00402110;
constexpr uint32_t kHsize = 0x00402120;
constexpr uint32_t kVpos = 0x00402130;
constexpr uint32_t kVsize = 0x00402140;
constexpr uint32_t kSubarrayMode = 0x00402150;
constexpr uint32_t kView1Hpos = 0x01402110, kView1Vpos = 0x01402130;
constexpr uint32_t kView2Hpos = 0x02402110, kView2Vpos = 0x02402130;
constexpr uint32_t kRegionReadout = 0x00400620;
constexpr double kOn = 2.0;
constexpr double kTwoViewLayout = 14.0;

// Down to a multiple of the step, toward minus infinity, in integers: a step below 1 leaves
// the value as it is. Nothing is lost to rounding, whatever the step.
int64_t AlignDown(int64_t value, double stepValue)
{
    int64_t step = SaturateToInt64(stepValue);
    if (step < 1)
        return value;
    int64_t q = value / step;
    if (value % step != 0 && value < 0)
        --q;
    return q * step;
}

// The image size after an area change. These reads leave lastResult alone; a failed read
// gives 0.
void RefreshImageSize(CameraContext &c)
{
    double width = 0.0, height = 0.0;
    if (Device().VelaGetValue(c.deviceHandle, kPropImageWidth, &width) < 0)
        width = 0.0;
    if (Device().VelaGetValue(c.deviceHandle, kPropImageHeight, &height) < 0)
        height = 0.0;
    c.frameWidth = SaturatingCast<uint32_t>(width);
    c.frameHeight = SaturatingCast<uint32_t>(height);
}

// The image size after a two-view change; here the reads count as the call's own.
bool ReadImageSize(CameraContext &c)
{
    double width = 0.0, height = 0.0;
    if (!ReadValue(c, kPropImageWidth, &width) || !ReadValue(c, kPropImageHeight, &height))
        return false;
    c.frameWidth = SaturatingCast<uint32_t>(width);
    c.frameHeight = SaturatingCast<uint32_t>(height);
    return true;
}

struct Inquiry {
    int32_t fullWidth, fullHeight;
    AreaRange hpos, vpos, hsize, vsize; // steps only
};

// The sensor size and the units at the given binning, else at the current one (binning 1 when
// it cannot be read).
bool InquireUnits(CameraContext &c, Inquiry &out, std::optional<uint32_t> givenBinning = {})
{
    VelaSubarrayInquiry q{};
    q.size = sizeof q;
    q.id = VELA_REQ_ID_SUBARRAY_INQUIRY;
    if (givenBinning) {
        q.binning = *givenBinning;
    } else {
        double binning = 0.0;
        q.binning = ReadValue(c, kPropBinning, &binning) ? SaturatingCast<uint32_t>(binning) : 1u;
    }
    if (!DeviceAnswered(c,
                        Device().VelaSendRequest(c.deviceHandle, VELA_REQ_INQUIRE, &q, sizeof q)))
        return false;
    out.fullWidth = q.fullWidth;
    out.fullHeight = q.fullHeight;
    out.hpos.step = q.hposUnit;
    out.vpos.step = q.vposUnit;
    out.hsize.step = q.hsizeUnit;
    out.vsize.step = q.vsizeUnit;
    return true;
}

// Limits in 64 bits and saturated back: the device's answers may be anything.
int32_t Difference(int32_t a, int32_t b)
{
    int64_t d = static_cast<int64_t>(a) - b;
    return d > INT32_MAX ? INT32_MAX : d < INT32_MIN ? INT32_MIN : static_cast<int32_t>(d);
}

void FillLimits(const Inquiry &q, int32_t hsize, int32_t vsize, int32_t hposMax, int32_t vposMax,
                AreaRange &h, AreaRange &v, AreaRange &hs, AreaRange &vs)
{
    h.step = q.hpos.step;
    v.step = q.vpos.step;
    hs.step = q.hsize.step;
    vs.step = q.vsize.step;
    h.minimum = 0;
    v.minimum = 0;
    h.maximum = Difference(q.fullWidth, hsize);
    v.maximum = Difference(q.fullHeight, vsize);
    hs.minimum = q.hsize.step;
    hs.maximum = Difference(q.fullWidth, hposMax);
    vs.minimum = q.vsize.step;
    vs.maximum = Difference(q.fullHeight, vposMax);
}

bool InTwoViewLayout(CameraContext &c)
{
    double layout = 0.0;
    return ReadValue(c, kPropSensorMode, &layout) && layout == kTwoViewLayout;
}

} // namespace

bool ApplySubarray(CameraContext &c, int64_t hpos, int64_t vpos, int64_t hsize, int64_t vsize)
{
    const uint32_t ids[4] = {kHpos, kHsize, kVpos, kVsize};
    double steps[4];
    for (int k = 0; k < 4; ++k) {
        VelaAttrRecord attr{};
        attr.size = sizeof attr;
        attr.id = ids[k];
        if (!DeviceAnswered(c, Device().VelaGetAttributes(c.deviceHandle, &attr)))
            return false;
        steps[k] = attr.stepValue;
    }
    const double h = static_cast<double>(AlignDown(hpos, steps[0]));
    const double w = static_cast<double>(AlignDown(hsize, steps[1]));
    const double v = static_cast<double>(AlignDown(vpos, steps[2]));
    const double hh = static_cast<double>(AlignDown(vsize, steps[3]));
    if (!WriteValue(c, kSubarrayMode, kOn) || !WriteValue(c, kHpos, 0.0) ||
        !WriteValue(c, kVpos, 0.0) || !WriteValue(c, kHsize, w) || !WriteValue(c, kVsize, hh) ||
        !WriteValue(c, kHpos, h) || !WriteValue(c, kVpos, v))
        return false;
    RefreshImageSize(c);
    return true;
}

bool ReadSubarray(CameraContext &c, SubarrayRect &out)
{
    VelaSubarrayRecord r{};
    r.size = sizeof r;
    r.id = VELA_REQ_ID_SUBARRAY;
    if (!DeviceAnswered(c,
                        Device().VelaSendRequest(c.deviceHandle, VELA_REQ_INQUIRE, &r, sizeof r)))
        return false;
    out.hpos = r.hpos;
    out.vpos = r.vpos;
    out.hsize = r.hsize;
    out.vsize = r.vsize;
    RefreshImageSize(c);
    return true;
}

bool ReadArea(CameraContext &c, AreaReport &out)
{
    Inquiry q{};
    SubarrayRect rect;
    if (!InquireUnits(c, q) || !ReadSubarray(c, rect))
        return false;
    FillLimits(q, rect.hsize, rect.vsize, rect.hpos, rect.vpos, out.hpos, out.vpos, out.hsize,
               out.vsize);
    out.hpos.value = rect.hpos;
    out.vpos.value = rect.vpos;
    out.hsize.value = rect.hsize;
    out.vsize.value = rect.vsize;
    return true;
}

namespace {

template <typename T> bool ReportAreaAs(CameraContext &c, T *const (&outputs)[16])
{
    AreaReport a;
    if (!ReadArea(c, a))
        return false;
    const AreaRange ranges[4] = {a.hpos, a.vpos, a.hsize, a.vsize};
    for (size_t k = 0; k < 4; ++k) {
        *outputs[4 * k] = static_cast<T>(ranges[k].value);
        *outputs[4 * k + 1] = static_cast<T>(ranges[k].minimum);
        *outputs[4 * k + 2] = static_cast<T>(ranges[k].maximum);
        *outputs[4 * k + 3] = static_cast<T>(ranges[k].step);
    }
    return true;
}

} // namespace

bool ReportArea(CameraContext &c, int32_t *const (&outputs)[16])
{
    return ReportAreaAs(c, outputs);
}

bool ReportArea(CameraContext &c, uint32_t *const (&outputs)[16])
{
    return ReportAreaAs(c, outputs);
}

bool ReportSubarray(CameraContext &c, uint32_t *const (&outputs)[4])
{
    SubarrayRect rect;
    if (!ReadSubarray(c, rect))
        return false;
    const int32_t values[4] = {rect.hpos, rect.vpos, rect.hsize, rect.vsize};
    for (size_t k = 0; k < 4; ++k)
        *outputs[k] = static_cast<uint32_t>(values[k]);
    return true;
}

bool ApplyPairedArea(CameraContext &c, const PairedArea &a)
{
    return InTwoViewLayout(c) && WriteValue(c, kSubarrayMode, kOn) && WriteValue(c, kHpos, 0.0) &&
           WriteValue(c, kVpos, 0.0) && WriteValue(c, kHsize, a.hsize) &&
           WriteValue(c, kVsize, a.vsize) && WriteValue(c, kView1Hpos, a.hpos1) &&
           WriteValue(c, kView1Vpos, a.vpos1) && WriteValue(c, kView2Hpos, a.hpos2) &&
           WriteValue(c, kView2Vpos, a.vpos2) && ReadImageSize(c);
}

bool ReadPairedArea(CameraContext &c, PairedAreaReport &out, std::optional<uint32_t> binning)
{
    Inquiry q{};
    if (!InquireUnits(c, q, binning) || !InTwoViewLayout(c))
        return false;
    const uint32_t ids[6] = {kHsize, kVsize, kView1Hpos, kView1Vpos, kView2Hpos, kView2Vpos};
    int32_t values[6];
    for (int k = 0; k < 6; ++k) {
        double v = 0.0;
        if (!ReadValue(c, ids[k], &v))
            return false;
        values[k] = SaturateToInt32(v);
    }
    if (!ReadImageSize(c))
        return false;
    PairedArea &a = out.area;
    a.hsize = values[0];
    a.vsize = values[1];
    a.hpos1 = values[2];
    a.vpos1 = values[3];
    a.hpos2 = values[4];
    a.vpos2 = values[5];
    int32_t hposMax = a.hpos1 > a.hpos2 ? a.hpos1 : a.hpos2;
    int32_t vposMax = a.vpos1 > a.vpos2 ? a.vpos1 : a.vpos2;
    FillLimits(q, a.hsize, a.vsize, hposMax, vposMax, out.hpos, out.vpos, out.hsize, out.vsize);
    return true;
}

bool RegionListIsValid(const int32_t *regions, int32_t count)
{
    // The device takes the entry array's byte size as a 32-bit value.
    if (!regions || count < 1 ||
        static_cast<uint64_t>(count) * sizeof(VelaRegionEntry) > UINT32_MAX)
        return false;
    for (int32_t k = 0; k < count; ++k) {
        const int32_t *r = regions + 4 * static_cast<int64_t>(k);
        if (r[0] < 0 || r[1] < 0 || r[2] <= 0 || r[3] <= 0)
            return false;
        if (static_cast<int64_t>(r[0]) + r[2] - 1 > UINT16_MAX ||
            static_cast<int64_t>(r[1]) + r[3] - 1 > UINT16_MAX)
            return false;
    }
    return true;
}

bool ApplyRegionList(CameraContext &c, const int32_t *regions, int32_t count)
{
    if (!c.multiRegionCapable)
        return false;
    const size_t n = static_cast<size_t>(count);
    VelaRegionEntry *entries = new (std::nothrow) VelaRegionEntry[n];
    if (!entries) {
        c.lastResult = QXERR_NOMEMORY;
        return false;
    }
    for (size_t k = 0; k < n; ++k) {
        const int32_t *r = regions + 4 * k;
        entries[k].left = static_cast<uint16_t>(r[0]);
        entries[k].top = static_cast<uint16_t>(r[1]);
        entries[k].right = static_cast<uint16_t>(r[0] + r[2] - 1);
        entries[k].bottom = static_cast<uint16_t>(r[1] + r[3] - 1);
    }
    VelaDataRecord data{};
    data.size = sizeof data;
    data.kind = 1;
    data.field0 = 0;
    data.field1 = 2;
    data.entries = entries;
    data.entryBytes = static_cast<uint32_t>(n * sizeof(VelaRegionEntry));
    c.lastResult = Device().VelaSetData(c.deviceHandle, &data);
    delete[] entries;
    return c.lastResult >= 0 && WriteValue(c, kRegionReadout, kOn);
}

bool ReportPairedArea(CameraContext &c, int32_t *const (&outputs)[18],
                      std::optional<uint32_t> binning)
{
    PairedAreaReport a;
    if (!ReadPairedArea(c, a, binning))
        return false;
    const int32_t values[18] = {a.area.hpos1,    a.area.hpos2, a.hpos.minimum, a.hpos.maximum,
                                a.hpos.step,     a.area.vpos1, a.area.vpos2,   a.vpos.minimum,
                                a.vpos.maximum,  a.vpos.step,  a.area.hsize,   a.hsize.minimum,
                                a.hsize.maximum, a.hsize.step, a.area.vsize,   a.vsize.minimum,
                                a.vsize.maximum, a.vsize.step};
    for (size_t k = 0; k < 18; ++k)
        *outputs[k] = values[k];
    return true;
}

} // namespace qxcm
