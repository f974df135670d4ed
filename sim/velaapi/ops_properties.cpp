// Property operations: values, attributes, enumeration, value stepping and texts, and the data
// blocks (region lists, lookup tables) handed over with VelaSetData.
#include "device_call.h"
#include "sim_state.h"
#include "text_copy.h"
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

int32_t GetValueOp(const char *name, uint64_t device, uint32_t id, double *value)
{
    DeviceCall call(name, Style::Code, device, id);
    call.Args("device=0x%08X, id=0x%08X", Hex(device), id);
    if (call.Injected())
        return call.Return(0);
    if (value == nullptr)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [id, value](Camera &c, Lock &) {
        double v = 0;
        int32_t r = c.GetValue(id, v);
        if (r >= 0)
            *value = v;
        return r;
    }));
}

int32_t AttributesOp(const char *name, Style style, uint64_t device, VelaAttrRecord *record)
{
    DeviceCall call(name, style, device, record ? record->id : 0);
    if (record == nullptr)
        call.Args("device=0x%08X, record=null", Hex(device));
    else
        call.Args("device=0x%08X, id=0x%08X", Hex(device), record->id);
    if (call.Injected())
        return call.Return(0);
    if (record == nullptr || record->size != sizeof(VelaAttrRecord))
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [record](Camera &c, Lock &) {
        VelaAttrRecord answer = *record;
        int32_t r = c.Attributes(record->id, answer);
        if (r >= 0)
            *record = answer;
        return r;
    }));
}

} // namespace

int32_t VelaGetValue(uint64_t device, uint32_t id, double *value)
{
    return GetValueOp("VelaGetValue", device, id, value);
}

// The device keeps no separate hardware read-back: a read answers what a get answers.
int32_t VelaReadValue(uint64_t device, uint32_t id, double *value)
{
    return GetValueOp("VelaReadValue", device, id, value);
}

int32_t VelaSetValue(uint64_t device, uint32_t id, double value)
{
    DeviceCall call("VelaSetValue", Style::Code, device, id);
    call.Args("device=0x%08X, id=0x%08X, value=%g", Hex(device), id, value);
    if (call.Injected())
        return call.Return(0);
    return call.Return(velasim::WithDevice(
        device, [id, value](Camera &c, Lock &) { return c.SetValue(id, value, true); }));
}

int32_t VelaGetPropertyAttr(uint64_t device, VelaAttrRecord *record)
{
    return AttributesOp("VelaGetPropertyAttr", Style::Code, device, record);
}

int32_t VelaGetAttributes(uint64_t device, VelaAttrRecord *record)
{
    return AttributesOp("VelaGetAttributes", Style::Bool, device, record);
}

int32_t VelaGetNextPropertyId(uint64_t device, uint32_t *id, uint32_t option)
{
    DeviceCall call("VelaGetNextPropertyId", Style::Bool, device);
    if (id == nullptr)
        call.Args("device=0x%08X, id=null, option=%u", Hex(device), option);
    else
        call.Args("device=0x%08X, id=0x%08X, option=%u", Hex(device), *id, option);
    if (call.Injected())
        return call.Return(0);
    if (id == nullptr)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [id, option](Camera &c, Lock &) {
        uint32_t next = *id;
        int32_t r = c.NextId(next, option);
        *id = r >= 0 ? next : 0;
        return r;
    }));
}

int32_t VelaQueryValue(uint64_t device, uint32_t id, double *value, uint32_t option)
{
    DeviceCall call("VelaQueryValue", Style::Bool, device, id);
    if (value == nullptr)
        call.Args("device=0x%08X, id=0x%08X, value=null, option=0x%08X", Hex(device), id, option);
    else
        call.Args("device=0x%08X, id=0x%08X, value=%g, option=0x%08X", Hex(device), id, *value,
                  option);
    if (call.Injected())
        return call.Return(0);
    if (value == nullptr)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [id, value, option](Camera &c, Lock &) {
        double v = *value;
        int32_t r = c.QueryValue(id, v, option);
        if (r >= 0)
            *value = v;
        return r;
    }));
}

int32_t VelaGetValueText(uint64_t device, VelaValueTextRecord *record)
{
    DeviceCall call("VelaGetValueText", Style::Bool, device, record ? record->id : 0);
    if (record == nullptr)
        call.Args("device=0x%08X, record=null", Hex(device));
    else
        call.Args("device=0x%08X, id=0x%08X, value=%g, capacity=%d", Hex(device), record->id,
                  record->value, record->capacity);
    if (call.Injected())
        return call.Return(0);
    // The host library sends 0 in the size field of this record; its own size is accepted too.
    if (record == nullptr || (record->size != 0 && record->size != sizeof(VelaValueTextRecord)) ||
        record->text == nullptr || record->capacity <= 0)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [record](Camera &c, Lock &) {
        std::string text;
        int32_t r = c.ValueText(record->id, record->value, text);
        if (r >= 0)
            velasim::CopyText(text, record->text, record->capacity);
        return r;
    }));
}

int32_t VelaGetPropertyName(uint64_t device, uint32_t id, char *text, int32_t capacity)
{
    DeviceCall call("VelaGetPropertyName", Style::Bool, device, id);
    call.Args("device=0x%08X, id=0x%08X, capacity=%d", Hex(device), id, capacity);
    if (call.Injected())
        return call.Return(0);
    if (text == nullptr || capacity <= 0)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [id, text, capacity](Camera &c, Lock &) {
        std::string name;
        int32_t r = c.Name(id, name);
        if (r >= 0)
            velasim::CopyText(name, text, capacity);
        return r;
    }));
}

int32_t VelaSetData(uint64_t device, VelaDataRecord *record)
{
    DeviceCall call("VelaSetData", Style::Code, device);
    if (record == nullptr)
        call.Args("device=0x%08X, record=null", Hex(device));
    else
        call.Args("device=0x%08X, kind=%u, field0=%u, field1=%u, entryBytes=%u", Hex(device),
                  record->kind, record->field0, record->field1, record->entryBytes);
    if (call.Injected())
        return call.Return(0);
    if (record == nullptr || record->size != sizeof(VelaDataRecord) ||
        (record->entryBytes != 0 && record->entries == nullptr) || record->entryBytes % 8 != 0)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [record](Camera &c, Lock &) {
        const uint32_t count = record->entryBytes / 8;
        if (record->kind == 1 && record->field0 == 0 && record->field1 == 2)
            return c.SetRegions(static_cast<const VelaRegionEntry *>(record->entries), count);
        if (record->kind == 2 && record->field0 == 1 && record->field1 == 0)
            return c.SetLut(static_cast<const int32_t *>(record->entries), count);
        return static_cast<int32_t>(VELA_ERR_INVALIDPARAM);
    }));
}
