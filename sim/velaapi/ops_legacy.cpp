// The older interface: requests with their own records (sub-array, scan mode, features) and the
// capability, binning and trigger calls. Every one answers nonzero on success; the code of a
// failure comes from VelaGetLastError.
#include <string.h>

#include "common/saturating_cast.h"
#include "device_call.h"
#include "property_ids.h"
#include "sim_state.h"
#include "vela_api.h"

using velasim::Camera;
using velasim::DeviceCall;
using velasim::Style;
using Lock = std::unique_lock<std::mutex>;

namespace {

uint32_t Hex(uint64_t handle)
{
    return static_cast<uint32_t>(handle);
}

size_t RequestSize(uint32_t id)
{
    switch (id) {
    case VELA_REQ_ID_SUBARRAY:
        return sizeof(VelaSubarrayRecord);
    case VELA_REQ_ID_SUBARRAY_INQUIRY:
        return sizeof(VelaSubarrayInquiry);
    case VELA_REQ_ID_SCANMODE:
        return sizeof(VelaScanModeRecord);
    case VELA_REQ_ID_SCANMODE_INQUIRY:
        return sizeof(VelaScanModeInquiry);
    case VELA_REQ_ID_FEATURE:
        return sizeof(VelaFeatureRecord);
    case VELA_REQ_ID_FEATURE_INQUIRY:
        return sizeof(VelaFeatureInquiry);
    default:
        return 0;
    }
}

int32_t Subarray(const Camera &c, VelaSubarrayRecord &r)
{
    using namespace velasim;
    const double sw = c.model->sensorWidth, sh = c.model->sensorHeight;
    bool on = c.Value(kPropSubarrayMode, kOff) == kOn;
    r.hpos = on ? qxcm::SaturateToInt32(c.Value(kPropSubarrayHpos, 0)) : 0;
    r.vpos = on ? qxcm::SaturateToInt32(c.Value(kPropSubarrayVpos, 0)) : 0;
    r.hsize = qxcm::SaturateToInt32(on ? c.Value(kPropSubarrayHsize, sw) : sw);
    r.vsize = qxcm::SaturateToInt32(on ? c.Value(kPropSubarrayVsize, sh) : sh);
    return VELA_OK;
}

// Sizes and units in sensor pixels; sizes move in steps of the binning times the size step.
int32_t SubarrayInquiry(const Camera &c, VelaSubarrayInquiry &r)
{
    using namespace velasim;
    uint32_t b = r.binning;
    bool supported = b == 1;
    if (c.Has(kPropBinning)) {
        for (const auto &t : c.model->Find(kPropBinning)->texts)
            supported = supported || t.first == b;
    } else {
        supported = supported || (b == 2 && (c.model->legacyCapabilities & 0x2u)) ||
                    (b == 4 && (c.model->legacyCapabilities & 0x4u)) ||
                    (b == 8 && (c.model->legacyCapabilities & 0x8u));
    }
    if (!supported)
        return VELA_ERR_INVALIDPARAM;
    auto step = [&c](uint32_t id) {
        const PropertyModel *p = c.model->Find(id);
        return p != nullptr && p->stepValue >= 1 ? qxcm::SaturateToInt32(p->stepValue) : 1;
    };
    r.fullWidth = static_cast<int32_t>(c.model->sensorWidth);
    r.fullHeight = static_cast<int32_t>(c.model->sensorHeight);
    r.hposUnit = step(kPropSubarrayHpos);
    r.vposUnit = step(kPropSubarrayVpos);
    r.hsizeUnit = step(kPropSubarrayHsize) * static_cast<int32_t>(b);
    r.vsizeUnit = step(kPropSubarrayVsize) * static_cast<int32_t>(b);
    return VELA_OK;
}

int32_t Request(Camera &c, uint32_t code, void *record, uint32_t id)
{
    const bool inquire = code == VELA_REQ_INQUIRE;
    switch (id) {
    case VELA_REQ_ID_SUBARRAY:
        return inquire ? Subarray(c, *static_cast<VelaSubarrayRecord *>(record))
                       : VELA_ERR_NOTSUPPORT;
    case VELA_REQ_ID_SUBARRAY_INQUIRY:
        return inquire ? SubarrayInquiry(c, *static_cast<VelaSubarrayInquiry *>(record))
                       : VELA_ERR_INVALIDPARAM;
    case VELA_REQ_ID_SCANMODE_INQUIRY: {
        if (!inquire)
            return VELA_ERR_INVALIDPARAM;
        auto *r = static_cast<VelaScanModeInquiry *>(record);
        int32_t count = 0;
        int32_t result = c.ScanModeCount(count);
        if (result >= 0)
            r->modeCount = count;
        return result;
    }
    case VELA_REQ_ID_SCANMODE: {
        auto *r = static_cast<VelaScanModeRecord *>(record);
        if (code == VELA_REQ_WRITE)
            return c.SetScanMode(r->mode);
        if (!inquire)
            return VELA_ERR_INVALIDPARAM;
        int32_t mode = 0;
        int32_t result = c.ScanMode(mode);
        if (result >= 0)
            r->mode = mode;
        return result;
    }
    case VELA_REQ_ID_FEATURE_INQUIRY: {
        if (!inquire)
            return VELA_ERR_INVALIDPARAM;
        auto *r = static_cast<VelaFeatureInquiry *>(record);
        const velasim::FeatureModel *f = c.model->Feature(r->feature);
        if (f == nullptr)
            return VELA_ERR_NOTSUPPORT;
        r->attributes = 3u | VELA_ATTR_READABLE |
                        (f->writable ? static_cast<uint32_t>(VELA_ATTR_WRITABLE) : 0u);
        r->minValue = f->minValue;
        r->maxValue = f->maxValue;
        r->stepValue = f->stepValue;
        r->defaultValue = f->defaultValue;
        return VELA_OK;
    }
    case VELA_REQ_ID_FEATURE: {
        auto *r = static_cast<VelaFeatureRecord *>(record);
        if (code == VELA_REQ_FEATURE_WRITE) {
            float value = r->value;
            int32_t result = c.SetFeatureValue(r->feature, value);
            if (result >= 0)
                r->value = value;
            return result;
        }
        if (!inquire)
            return VELA_ERR_INVALIDPARAM;
        float value = 0;
        int32_t result = c.FeatureValue(r->feature, value);
        if (result >= 0)
            r->value = value;
        return result;
    }
    default:
        return VELA_ERR_NOTSUPPORT;
    }
}

template <typename Work>
int32_t IntOut(const char *name, uint64_t device, int32_t *value, Work &&work)
{
    DeviceCall call(name, Style::Bool, device);
    call.Args("device=0x%08X", Hex(device));
    if (call.Injected())
        return call.Return(0);
    if (value == nullptr)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [&](Camera &c, Lock &) {
        int32_t v = 0;
        int32_t r = work(c, v);
        if (r >= 0)
            *value = v;
        return r;
    }));
}

template <typename Work>
int32_t IntIn(const char *name, uint64_t device, int32_t value, Work &&work)
{
    DeviceCall call(name, Style::Bool, device);
    call.Args("device=0x%08X, value=%d", Hex(device), value);
    if (call.Injected())
        return call.Return(0);
    return call.Return(
        velasim::WithDevice(device, [&](Camera &c, Lock &) { return work(c, value); }));
}

} // namespace

int32_t VelaSendRequest(uint64_t device, uint32_t code, void *record, uint32_t size)
{
    uint32_t id = 0;
    if (record != nullptr && size >= 8)
        memcpy(&id, static_cast<const uint8_t *>(record) + 4, sizeof id);
    DeviceCall call("VelaSendRequest", Style::Bool, device, id);
    call.Args("device=0x%08X, code=0x%08X, request=0x%08X, size=%u", Hex(device), code, id, size);
    if (call.Injected())
        return call.Return(0);
    if (record == nullptr || size < 8)
        return call.Return(VELA_ERR_INVALIDPARAM);
    uint32_t own = 0;
    memcpy(&own, record, sizeof own);
    const size_t expected = RequestSize(id);
    if (expected == 0)
        return call.Return(VELA_ERR_NOTSUPPORT);
    if (own != size || size != expected)
        return call.Return(VELA_ERR_INVALIDPARAM);
    if (code != VELA_REQ_WRITE && code != VELA_REQ_INQUIRE && code != VELA_REQ_FEATURE_WRITE)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(
        device, [code, record, id](Camera &c, Lock &) { return Request(c, code, record, id); }));
}

int32_t VelaGetCapabilities(uint64_t device, uint32_t *bits, uint32_t reserved)
{
    DeviceCall call("VelaGetCapabilities", Style::Bool, device);
    call.Args("device=0x%08X, reserved=%u", Hex(device), reserved);
    if (call.Injected())
        return call.Return(0);
    if (bits == nullptr)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [bits](Camera &c, Lock &) {
        *bits = c.model->legacyCapabilities;
        return static_cast<int32_t>(VELA_OK);
    }));
}

int32_t VelaGetBinning(uint64_t device, int32_t *value)
{
    return IntOut("VelaGetBinning", device, value,
                  [](Camera &c, int32_t &v) { return c.LegacyBinning(v); });
}

int32_t VelaSetBinning(uint64_t device, int32_t value)
{
    return IntIn("VelaSetBinning", device, value,
                 [](Camera &c, int32_t v) { return c.SetLegacyBinning(v); });
}

int32_t VelaGetTriggerMode(uint64_t device, int32_t *value)
{
    return IntOut("VelaGetTriggerMode", device, value,
                  [](Camera &c, int32_t &v) { return c.LegacyTriggerMode(v); });
}

int32_t VelaSetTriggerMode(uint64_t device, int32_t value)
{
    return IntIn("VelaSetTriggerMode", device, value,
                 [](Camera &c, int32_t v) { return c.SetLegacyTriggerMode(v); });
}

int32_t VelaGetTriggerPolarity(uint64_t device, int32_t *value)
{
    return IntOut("VelaGetTriggerPolarity", device, value,
                  [](Camera &c, int32_t &v) { return c.LegacyTriggerPolarity(v); });
}

int32_t VelaSetTriggerPolarity(uint64_t device, int32_t value)
{
    return IntIn("VelaSetTriggerPolarity", device, value,
                 [](Camera &c, int32_t v) { return c.SetLegacyTriggerPolarity(v); });
}
