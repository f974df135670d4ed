// Property model of a simulated camera: stored values, values computed from the geometry,
// limits that follow other settings and the list of properties a write changed. What a host asks
// of a property besides its value is answered in camera_queries.cpp, the older interface's state
// lives in camera_legacy.cpp, the processing of frames in camera_processing.cpp.
#include "sim_camera.h"

#include <math.h>
#include <stdio.h>

#include <algorithm>

#include "property_ids.h"

namespace velasim {

Camera::Camera(int32_t i, std::shared_ptr<const CameraModel> m) : index(i), model(std::move(m))
{
    for (const PropertyModel &p : model->properties)
        values_[p.id] = p.defaultValue;
    for (const FeatureModel &f : model->features)
        features_[f.number] = f.defaultValue;
    simulatedClock_ = 0;
}

Camera::~Camera()
{
    std::unique_lock lock(mutex);
    Shut(lock);
}

int32_t Camera::Resolve(uint32_t id, PropertyRef &ref) const
{
    ref = PropertyRef{};
    ref.view = id >> 24;
    uint32_t base = id & 0x00FFFFFFu;
    ref.model = model->Find(base);
    if (ref.model == nullptr) {
        for (const PropertyModel &p : model->properties) {
            if (p.countId == 0 || base <= p.id || (base - p.id) % p.countStep != 0)
                continue;
            uint32_t k = (base - p.id) / p.countStep;
            if (static_cast<double>(k) < Value(p.countId, 1)) {
                ref.model = &p;
                ref.element = k;
                break;
            }
        }
    }
    if (ref.model == nullptr)
        return VELA_ERR_INVALIDPROPERTYID;
    if (ref.view != 0 && (!ref.model->perView || ref.view > model->maxViews))
        return VELA_ERR_INVALIDVIEW;
    ref.key = id;
    return VELA_OK;
}

double Camera::Value(uint32_t id, double fallback) const
{
    double v = fallback;
    return GetValue(id, v) < 0 ? fallback : v;
}

uint32_t Camera::Binning() const
{
    return Has(kPropBinning) ? std::max(1u, ToU32(Value(kPropBinning, 1))) : hiddenBinning_;
}

Geometry Camera::CurrentGeometry() const
{
    Geometry g;
    const uint32_t sw = model->sensorWidth, sh = model->sensorHeight;
    const uint32_t b = Binning();
    g.binning = b;
    g.pixel = model->pixel;
    if (Has(kPropImagePixelType)) {
        switch (ToU32(Value(kPropImagePixelType, 2))) {
        case 1:
            g.pixel = PixelType::Mono8;
            break;
        case 3:
            g.pixel = PixelType::Mono12Packed;
            break;
        default:
            g.pixel = PixelType::Mono16;
            break;
        }
    }
    bool subarray = Has(kPropSubarrayMode) && Value(kPropSubarrayMode, kOff) == kOn;
    bool split = model->maxViews >= 2 && Value(kPropSensorMode, 1) == kSensorModeSplitView;
    uint32_t hsize = subarray ? ToU32(Value(kPropSubarrayHsize, sw)) : sw;
    uint32_t vsize = subarray ? ToU32(Value(kPropSubarrayVsize, sh)) : sh;
    g.views = split ? 2 : 1;
    if (split && !subarray) {
        hsize = sw / 2;
        g.viewX[1] = sw / 2;
    } else if (subarray) {
        for (uint32_t v = 0; v < g.views; ++v) {
            uint32_t view = split ? v + 1 : 0;
            g.viewX[v] = ToU32(Value((view << 24) | kPropSubarrayHpos, 0));
            g.viewY[v] = ToU32(Value((view << 24) | kPropSubarrayVpos, 0));
        }
    }
    g.width = std::max(1u, hsize / b);
    g.height = std::max(1u, vsize / b);
    if (g.pixel == PixelType::Mono12Packed) {
        g.width &= ~1u;
        g.rowBytes = g.width / 2 * 3; // packed rows are never padded
    } else {
        uint32_t bytes = g.pixel == PixelType::Mono16 ? 2u : g.pixel == PixelType::Rgb24 ? 3u : 1u;
        uint32_t row = g.width * bytes + model->rowExtra;
        g.rowBytes = (row + model->rowAlign - 1) / model->rowAlign * model->rowAlign;
    }
    if (Value(kPropBundleMode, kOff) == kOn)
        g.bundle = std::max(1u, ToU32(Value(kPropBundleNumber, 1)));
    return g;
}

uint32_t Camera::DataTypeCode() const
{
    return TypeCodeOf(CurrentGeometry().pixel);
}

uint32_t Camera::TypeCodeOf(PixelType pixel) const
{
    switch (pixel) {
    case PixelType::Mono8:
        return model->earlyTypeCodes ? VELA_TYPE_EARLY_MONO8 : VELA_TYPE_MONO8;
    case PixelType::Mono16:
        return model->earlyTypeCodes ? VELA_TYPE_EARLY_MONO16 : VELA_TYPE_MONO16;
    case PixelType::Mono12Packed:
        return VELA_TYPE_MONO12P;
    case PixelType::Rgb24:
        return VELA_TYPE_RGB24;
    }
    return VELA_TYPE_MONO16;
}

double Camera::ImageInterval() const
{
    double exposure = 0.01;
    if (Has(kPropExposureTime))
        exposure = Value(kPropExposureTime, exposure);
    else if (model->Feature(14) != nullptr)
        exposure = static_cast<double>(features_.at(14));
    // An averaged frame takes as long as the frames it is the mean of.
    return (exposure + Value(kPropFrameOverheadTime, 0)) * AveragedFrames();
}

bool Camera::Derived(const PropertyRef &ref, double &value) const
{
    auto o = overrides_.find(ref.key);
    if (o != overrides_.end()) {
        value = o->second;
        return true;
    }
    switch (ref.model->id) {
    case kPropImageWidth:
        value = CurrentGeometry().width;
        return true;
    case kPropImageHeight:
        value = CurrentGeometry().height;
        return true;
    case kPropImageRowBytes:
        value = CurrentGeometry().rowBytes;
        return true;
    case kPropImageFrameUnits:
        value = static_cast<double>(CurrentGeometry().FrameBytes() / 8);
        return true;
    case kPropImageViewOffset: {
        Geometry g = CurrentGeometry();
        value = ref.view == 2 && g.views == 2 ? static_cast<double>(g.ViewBytes()) : 0.0;
        return true;
    }
    case kPropNumberOfViews:
        if (!Has(kPropSensorMode))
            return false; // no layout switch: the model's value stands
        value = CurrentGeometry().views;
        return true;
    case kPropBundleStepBytes:
        value = static_cast<double>(CurrentGeometry().ImageBytes());
        return true;
    case kPropFrameOverheadTime: {
        bool subarray = Value(kPropSubarrayMode, kOff) == kOn;
        double rows =
            subarray ? Value(kPropSubarrayVsize, model->sensorHeight) : model->sensorHeight;
        double speed = Has(kPropReadoutSpeed) ? Value(kPropReadoutSpeed, 1) : hiddenScanMode_;
        value = rows * model->lineTime / std::max(1.0, speed);
        return true;
    }
    case kPropElectronFactor:
        if (!Has(kPropSensitivity))
            return false;
        value = 5.0 / std::max(1.0, Value(kPropSensitivity, 1));
        return true;
    case kPropElectronOffset:
        value = 100.0;
        return true;
    case kPropSensorTemperature:
        if (!Has(kPropSensorCooler))
            return false;
        value = Value(kPropSensorCooler, 0) >= 1 ? -65.0 : 20.0;
        return true;
    default:
        return false;
    }
}

int32_t Camera::GetValue(uint32_t id, double &value) const
{
    PropertyRef ref;
    int32_t r = Resolve(id, ref);
    if (r < 0)
        return r;
    if (!ref.model->readable)
        return VELA_ERR_NOTREADABLE;
    if (Derived(ref, value))
        return VELA_OK;
    auto it = values_.find(ref.key);
    if (it == values_.end())
        it = values_.find(ref.model->id + ref.element * ref.model->countStep);
    value = it != values_.end() ? it->second : ref.model->defaultValue;
    return VELA_OK;
}

void Camera::Limits(const PropertyRef &ref, double &minValue, double &maxValue,
                    double &stepValue) const
{
    const PropertyModel &p = *ref.model;
    minValue = p.minValue;
    maxValue = p.maxValue;
    stepValue = p.stepValue;
    const double sw = model->sensorWidth, sh = model->sensorHeight;
    switch (p.id) {
    case kPropSubarrayHpos:
        maxValue = std::max(0.0, sw - Value(kPropSubarrayHsize, sw));
        break;
    case kPropSubarrayVpos:
        maxValue = std::max(0.0, sh - Value(kPropSubarrayVsize, sh));
        break;
    case kPropSubarrayHsize:
    case kPropSubarrayVsize: {
        // Sizes stay whole multiples of the binning so that the image has whole pixels.
        bool h = p.id == kPropSubarrayHsize;
        stepValue = p.stepValue * Binning();
        minValue = stepValue;
        double room = (h ? sw : sh) - Value(h ? kPropSubarrayHpos : kPropSubarrayVpos, 0);
        maxValue = std::max(minValue, floor(room / stepValue) * stepValue);
        break;
    }
    default:
        break;
    }
}

int32_t Camera::Check(const PropertyRef &ref, double value) const
{
    if (!isfinite(value))
        return VELA_ERR_INVALIDVALUE;
    double lo = 0, hi = 0, step = 0;
    Limits(ref, lo, hi, step);
    double tolerance = 1e-9 * std::max(1.0, std::max(fabs(lo), fabs(hi)));
    if (value < lo - tolerance || value > hi + tolerance)
        return VELA_ERR_OUTOFRANGE;
    switch (ref.model->type) {
    case ValueType::List:
        for (const auto &t : ref.model->texts)
            if (Near(t.first, value))
                return VELA_OK;
        return VELA_ERR_INVALIDVALUE;
    case ValueType::Long:
    case ValueType::Mode:
        if (value != floor(value))
            return VELA_ERR_INVALIDVALUE;
        if (step > 0 && fmod(value - lo, step) != 0)
            return VELA_ERR_INVALIDVALUE;
        return VELA_OK;
    case ValueType::Real:
        return VELA_OK;
    }
    return VELA_OK;
}

bool Camera::AffectsGeometry(uint32_t base) const
{
    switch (base) {
    case kPropBinning:
    case kPropSubarrayHpos:
    case kPropSubarrayHsize:
    case kPropSubarrayVpos:
    case kPropSubarrayVsize:
    case kPropSubarrayMode:
    case kPropSensorMode:
    case kPropImagePixelType:
    case kPropBundleMode:
    case kPropBundleNumber:
        return true;
    default:
        return false;
    }
}

int32_t Camera::SetValue(uint32_t id, double value, bool host)
{
    PropertyRef ref;
    int32_t r = Resolve(id, ref);
    if (r < 0)
        return r;
    const uint32_t base = ref.model->id;
    if (host) {
        if (!ref.model->writable)
            return VELA_ERR_NOTWRITABLE;
        if (bufferKind != BufferKind::None && AffectsGeometry(base))
            return VELA_ERR_BUSY;
        r = Check(ref, value);
        if (r < 0)
            return r;
    } else if (!isfinite(value)) {
        return VELA_ERR_INVALIDVALUE;
    }
    Snapshot before = Take();
    double ignored = 0;
    if (!host && Derived(ref, ignored)) {
        overrides_[ref.key] = value;
    } else {
        if (ref.view == 0 && ref.model->perView)
            for (uint32_t v = 1; v <= model->maxViews; ++v)
                values_.erase((v << 24) | ref.key);
        values_[ref.key] = value;
    }
    if (base == kPropTriggerSource || base == kPropTriggerActive || base == kPropTriggerMode)
        FollowTriggerProperties();
    Normalize();
    NoteUpdates(before, ref.key & 0x00FFFFFFu);
    return VELA_OK;
}

// Keeps the sub-array consistent after binning or size changes: sizes become multiples of the
// binning and offsets move so the area stays on the sensor.
void Camera::Normalize()
{
    const uint32_t b = Binning();
    struct Axis {
        uint32_t size, pos, sensor;
    };
    for (Axis a : {Axis{kPropSubarrayHsize, kPropSubarrayHpos, model->sensorWidth},
                   Axis{kPropSubarrayVsize, kPropSubarrayVpos, model->sensorHeight}}) {
        const PropertyModel *size = model->Find(a.size);
        if (size == nullptr)
            continue;
        double step = std::max(1.0, size->stepValue) * b;
        double s = floor(values_[a.size] / step) * step;
        s = std::clamp(s, step, floor(a.sensor / step) * step);
        values_[a.size] = s;
        const PropertyModel *pos = model->Find(a.pos);
        if (pos == nullptr)
            continue;
        for (uint32_t v = 0; v <= (pos->perView ? model->maxViews : 0); ++v) {
            auto it = values_.find((v << 24) | a.pos);
            if (it == values_.end())
                continue;
            double posStep = std::max(1.0, pos->stepValue);
            double p = std::clamp(it->second, 0.0, a.sensor - s);
            it->second = floor(p / posStep) * posStep;
        }
    }
}

Camera::Snapshot Camera::Take() const
{
    Snapshot s;
    for (const PropertyModel &p : model->properties) {
        uint32_t count = 1;
        if (p.countId != 0)
            count = std::max(1u, ToU32(Value(p.countId, 1)));
        for (uint32_t k = 0; k < count; ++k) {
            uint32_t id = p.id + k * p.countStep;
            std::vector<double> &e = s.entries[id];
            PropertyRef ref{&p, id, 0, k};
            double v = 0, lo = 0, hi = 0, step = 0;
            GetValue(id, v);
            Limits(ref, lo, hi, step);
            e = {v, lo, hi, step};
            if (p.perView)
                for (uint32_t view = 1; view <= model->maxViews; ++view)
                    e.push_back(Value((view << 24) | id, 0));
        }
    }
    return s;
}

void Camera::NoteUpdates(const Snapshot &before, uint32_t exclude)
{
    Snapshot after = Take();
    updated_.clear();
    for (const auto &[id, entry] : after.entries) {
        if (id == exclude)
            continue;
        auto it = before.entries.find(id);
        if (it == before.entries.end() || it->second != entry)
            updated_.push_back(id);
    }
}

} // namespace velasim
