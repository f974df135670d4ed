// Opening a camera: only registered properties get records, in the order the device lists
// them, and array properties get one record per element.
#include "settings/camera_open.h"

#include <algorithm>
#include <iterator>

#include "core/device.h"
#include "core/platform.h"
#include "settings/properties.h"

namespace qxcm {
namespace {

constexpr uint32_t kRegisteredIds[] = {
    0x00100110, 0x00100120, 0x00100210, 0x00100220, 0x00100230, 0x00100260, 0x00100270, 0x00100280,
    0x00100290, 0x00100410, 0x00100420, 0x00100810, 0x00100820, 0x00180110, 0x001C0010, 0x001C0030,
    0x001C0050, 0x001C0110, 0x001C0120, 0x001C0130, 0x001C0140, 0x001C0150, 0x001C0160, 0x001C0170,
    0x001C0190, 0x001F0110, 0x001F0120, 0x001F0130, 0x001F0200, 0x001F0300, 0x001F0310, 0x001F1000,
    0x00200110, 0x00200210, 0x00200220, 0x002002F0, 0x00200310, 0x00200320, 0x00200330, 0x00200340,
    0x00200350, 0x00200410, 0x00300120, 0x00300130, 0x00300150, 0x00300170, 0x00300180, 0x00300190,
    0x00300200, 0x00300210, 0x00300220, 0x00380F10, 0x00380F20, 0x00380F30, 0x00380F40, 0x00381000,
    0x00400110, 0x00400130, 0x00400160, 0x00400210, 0x00400220, 0x00400250, 0x00400260, 0x00400280,
    0x00400310, 0x00400350, 0x00400410, 0x00400420, 0x00400430, 0x00400510, 0x00400520, 0x00401110,
    0x00401120, 0x00401130, 0x00401140, 0x00402160, 0x00402170, 0x00402180, 0x00403010, 0x00403810,
    0x00403820, 0x00403830, 0x00403840, 0x00403850, 0x00420130, 0x00420210, 0x00420220, 0x00420230,
    0x00420240, 0x00420270, 0x00470010, 0x00470030, 0x00910010, 0x00910020, 0x00910030, 0x009100E0,
    0x009100F0, 0x00910100, 0x00910200, 0x00910300, 0x00910400, 0x00910500, 0x00910600};
static_assert(std::size(kRegisteredIds) == 103);

struct MappedParameter {
    int32_t parameter;
    uint32_t propertyId;
};

constexpr MappedParameter kParameterMap[] = {{kParameterBinning, kPropBinning},
                                             {kParameterSensorMode, kPropSensorMode},
                                             {kParameterExposureTime, kPropExposureTime},
                                             {kParameterTriggerSource, kPropTriggerSource},
                                             {kParameterTriggerActive, kPropTriggerActive},
                                             {kParameterTriggerMode, kPropTriggerMode},
                                             {kParameterTriggerPolarity, kPropTriggerPolarity},
                                             {kParameterFrameOverhead, kPropFrameOverhead}};

constexpr uint32_t kCalibrationTimeoutMs = 5000;

bool IsRegistered(uint32_t id)
{
    return std::find(std::begin(kRegisteredIds), std::end(kRegisteredIds), id) !=
           std::end(kRegisteredIds);
}

void EnumerateProperties(CameraContext &c)
{
    ForEachListedProperty(c, [&c](uint32_t id) {
        int32_t own = c.propertyCount;
        // Records beyond the table are not kept, the map never points past it.
        if (!IsRegistered(id) || !AppendRecord(c, kRecordDevice, id))
            return;
        VelaAttrRecord attr{};
        attr.size = sizeof attr;
        attr.id = id;
        if (Device().VelaGetAttributes(c.deviceHandle, &attr) != 0 && attr.elementCountId > 1) {
            double n = 0.0;
            if (Device().VelaGetValue(c.deviceHandle, attr.elementCountId, &n) >= 0) {
                for (uint32_t k = 1; static_cast<double>(k) < n; ++k)
                    if (!AppendRecord(c, kRecordDevice, id + k * attr.elementStep))
                        break;
            }
        }
        for (const MappedParameter &m : kParameterMap)
            if (m.propertyId == id)
                c.parameterMap[m.parameter] = own;
    });
}

} // namespace

bool OpenDeviceHandles(CameraContext &c, uint32_t index, bool replacesOpenDevice)
{
    VelaOpenRecord open{};
    open.size = sizeof open;
    open.index = index;
    if (Device().VelaOpen(&open) < 0)
        return false;

    VelaWaitOpenRecord wait{};
    wait.size = sizeof wait;
    wait.device = open.device;
    c.lastResult = Device().VelaOpenWait(&wait);
    if (c.lastResult < 0) {
        // The new device would otherwise stay open with no slot holding it.
        Device().VelaClose(open.device);
        return false;
    }
    // The earlier device of a slot opened again without force is closed, not leaked.
    if (replacesOpenDevice)
        CloseDevice(c);
    c.deviceHandle = open.device;
    c.openSerial = ++State().openings;
    c.propertyCount = 0;
    c.waitHandle = wait.wait;
    std::fill(std::begin(c.parameterMap), std::end(c.parameterMap), -1);
    // Reference captures get this limit whichever family opened the camera; left at 0 they
    // would time out at once.
    c.calibrationTimeout = CalibrationTimeoutMs();
    Device().VelaSetValue(c.deviceHandle, 0x00200250, 2.0);
    return true;
}

bool OpenCameraContext(CameraContext &c, uint32_t index, bool replacesOpenDevice)
{
    if (!OpenDeviceHandles(c, index, replacesOpenDevice))
        return false;
    VelaCapabilityNote note{20, {1, 0, 2, 0}};
    c.lastResult = Device().VelaQueryCapability(c.deviceHandle, &note);
    VelaCapabilityRecord caps{};
    caps.size = sizeof caps;
    caps.group = 1;
    caps.kind = 1;
    c.lastResult = Device().VelaQueryCapability(c.deviceHandle, &caps);
    if (c.lastResult >= 0 && (caps.bits & 0x2))
        c.multiRegionCapable = 1;

    EnumerateProperties(c);
    return true;
}

uint32_t CalibrationTimeoutMs()
{
    int32_t configured = 0;
    if (Os().readCalibrationTimeout(&configured) &&
        configured > static_cast<int32_t>(kCalibrationTimeoutMs))
        return static_cast<uint32_t>(configured);
    return kCalibrationTimeoutMs;
}

int32_t ReadCameraString(CameraContext &c, uint32_t id, char *text)
{
    VelaStringRecord record{};
    record.size = sizeof record;
    record.id = id;
    record.text = text;
    record.capacity = 64;
    c.lastResult = Device().VelaGetString(c.deviceHandle, &record);
    if (c.lastResult >= 0)
        text[63] = '\0';
    return c.lastResult;
}

CameraIdentity ReadCameraIdentity(CameraContext &c)
{
    CameraIdentity id;
    ReadCameraString(c, kInfoModel, id.model);
    ReadCameraString(c, kInfoSerial, id.serial);
    ReadCameraString(c, kInfoBus, id.bus);
    id.model[63] = id.serial[63] = id.bus[63] = '\0';
    return id;
}

PropertyRecord *AppendRecord(CameraContext &c, uint32_t kind, uint32_t id)
{
    if (c.propertyCount >= kMaxProperties)
        return nullptr;
    PropertyRecord &r = c.properties[c.propertyCount];
    r = PropertyRecord{}; // nothing of an earlier open of the slot shows through
    r.kind = kind;
    r.propertyId = id;
    if (kind == kRecordDevice) {
        Device().VelaGetPropertyName(c.deviceHandle, id, r.name, sizeof r.name);
        r.name[sizeof r.name - 1] = '\0';
    }
    ++c.propertyCount;
    return &r;
}

bool OpenSlot(uint32_t index, bool (*open)(CameraContext &, uint32_t, bool),
              bool (*refresh)(CameraContext &, int32_t))
{
    CameraContext &c = State().contexts[index];
    if (!open(c, index, IsCameraOpen(index)))
        return false;
    for (int32_t r = 0; r < c.propertyCount; ++r)
        refresh(c, r);
    SetCameraOpen(index, true);
    return true;
}

bool OpenCamera(uint32_t index, bool force)
{
    if (force && IsCameraOpen(index))
        CloseCamera(index);
    return OpenSlot(index, OpenCameraContext, RefreshPropertyRecord);
}

void CloseCamera(uint32_t index)
{
    CloseDevice(State().contexts[index]);
    SetCameraOpen(index, false);
}

bool GetCameraInfo(uint32_t index, uint32_t id, char *text)
{
    CameraContext &c = State().contexts[index];
    if (IsCameraOpen(index))
        return ReadCameraString(c, id, text) >= 0;
    if (Device().VelaGetModelInfo(static_cast<int32_t>(index), id, text, 64) == 0)
        return false;
    text[63] = '\0';
    return true;
}

} // namespace qxcm
