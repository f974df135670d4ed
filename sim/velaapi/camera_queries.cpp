// What a host asks of a simulated camera's properties besides their values: attributes, the
// walk over property ids, the next or prior settable value, value texts and names.
#include <math.h>
#include <stdio.h>

#include <algorithm>

#include "property_ids.h"
#include "sim_camera.h"

namespace velasim {
namespace {

constexpr uint32_t kNextValue = 0x01000000;
constexpr uint32_t kPriorValue = 0x02000000;

} // namespace

int32_t Camera::Attributes(uint32_t id, VelaAttrRecord &record) const
{
    PropertyRef ref;
    int32_t r = Resolve(id, ref);
    if (r < 0)
        return r;
    const PropertyModel &p = *ref.model;
    uint32_t bits = static_cast<uint32_t>(p.type);
    if (p.readable)
        bits |= VELA_ATTR_READABLE;
    if (p.writable)
        bits |= VELA_ATTR_WRITABLE;
    if (p.perView)
        bits |= VELA_ATTR_PER_VIEW;
    record.attributes = bits;
    record.unit = p.unit;
    Limits(ref, record.minValue, record.maxValue, record.stepValue);
    record.defaultValue = p.defaultValue;
    record.maxViews = p.perView ? static_cast<int32_t>(model->maxViews) : 1;
    record.elementCountId = ref.element == 0 ? p.countId : 0;
    record.elementStep = ref.element == 0 ? p.countStep : 0;
    return VELA_OK;
}

int32_t Camera::NextId(uint32_t &id, uint32_t option)
{
    if (option == VELA_NEXT_ALL) {
        for (const PropertyModel &p : model->properties) {
            if (p.id > id) {
                id = p.id;
                return VELA_OK;
            }
        }
        return VELA_ERR_INVALIDPROPERTYID;
    }
    if (option == VELA_NEXT_UPDATED) {
        if (updated_.empty())
            return VELA_ERR_INVALIDPROPERTYID;
        id = updated_.front();
        updated_.pop_front();
        return VELA_OK;
    }
    return VELA_ERR_INVALIDPARAM;
}

int32_t Camera::QueryValue(uint32_t id, double &value, uint32_t option) const
{
    PropertyRef ref;
    int32_t r = Resolve(id, ref);
    if (r < 0)
        return r;
    if (!isfinite(value))
        return VELA_ERR_INVALIDVALUE;
    if (option == 0)
        return Check(ref, value);
    if (option != kNextValue && option != kPriorValue)
        return VELA_ERR_INVALIDPARAM;
    const bool next = option == kNextValue;
    if (ref.model->type == ValueType::List) {
        const auto &texts = ref.model->texts;
        if (next) {
            for (const auto &t : texts) {
                if (t.first > value && !Near(t.first, value)) {
                    value = t.first;
                    return VELA_OK;
                }
            }
        } else {
            for (auto it = texts.rbegin(); it != texts.rend(); ++it) {
                if (it->first < value && !Near(it->first, value)) {
                    value = it->first;
                    return VELA_OK;
                }
            }
        }
        return VELA_ERR_OUTOFRANGE;
    }
    double lo = 0, hi = 0, step = 0;
    Limits(ref, lo, hi, step);
    if (step <= 0)
        return VELA_ERR_OUTOFRANGE;
    double k = floor((value - lo) / step + 1e-9);
    double candidate =
        next ? lo + (k + 1) * step : lo + (Near(lo + k * step, value) ? k - 1 : k) * step;
    if (candidate > hi + 1e-9 * std::max(1.0, fabs(hi)) || candidate < lo - 1e-12)
        return VELA_ERR_OUTOFRANGE;
    value = candidate;
    return VELA_OK;
}

int32_t Camera::ValueText(uint32_t id, double value, std::string &text) const
{
    PropertyRef ref;
    int32_t r = Resolve(id, ref);
    if (r < 0)
        return r;
    if (ref.model->type != ValueType::List)
        return VELA_ERR_NOTSUPPORT;
    for (const auto &t : ref.model->texts) {
        if (Near(t.first, value)) {
            text = t.second;
            return VELA_OK;
        }
    }
    return VELA_ERR_INVALIDVALUE;
}

int32_t Camera::Name(uint32_t id, std::string &name) const
{
    PropertyRef ref;
    int32_t r = Resolve(id, ref);
    if (r < 0)
        return r;
    name = ref.model->name;
    char suffix[32] = "";
    if (ref.element != 0)
        snprintf(suffix, sizeof suffix, "[%u]", ref.element);
    else if (ref.view != 0)
        snprintf(suffix, sizeof suffix, " [VIEW %u]", ref.view);
    name.append(suffix);
    return VELA_OK;
}

} // namespace velasim
