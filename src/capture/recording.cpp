// The recorder. Writing the file is the device library's work; the library opens, connects,
// closes and asks.
#include "capture/recording.h"

#include <cstring>

#include "capture/frames.h"
#include "core/device.h"
#include "qxcm/qxcm.h"

namespace qxcm {

bool RecordingPath(const char *path, char *buffer)
{
    static const char kExtension[] = ".vlseq";
    if (!path)
        return false;
    size_t length = strnlen(path, kPathCapacity);
    bool append = strstr(path, kExtension) == nullptr;
    size_t needed = length + (append ? sizeof kExtension - 1 : 0);
    if (length >= kPathCapacity || needed >= kPathCapacity)
        return false;
    memcpy(buffer, path, length);
    if (append)
        memcpy(buffer + length, kExtension, sizeof kExtension - 1);
    buffer[needed] = '\0';
    return true;
}

int32_t StartRecorder(CameraContext &c, const char *path, uint32_t maxFrames, uint32_t flags)
{
    char buffer[kPathCapacity];
    if (!RecordingPath(path, buffer))
        return QXERR_INVALIDPARAM;
    VelaRecorderOpenRecord open{};
    open.size = sizeof open;
    open.flags = flags;
    open.path = buffer;
    open.maxFrames = maxFrames;
    open.fileTextCapacity = 1024;
    open.frameTextCapacity = 1024;
    c.lastResult = Device().VelaRecorderOpen(&open);
    if (c.lastResult < 0)
        return c.lastResult;
    c.recorderHandle = open.recorder; // kept even when connecting fails
    c.lastResult = Device().VelaCaptureRecord(c.deviceHandle, c.recorderHandle);
    if (c.lastResult < 0)
        return c.lastResult;
    c.recording = 1;
    return 0;
}

bool CloseRecorder(CameraContext &c)
{
    if (!c.recording)
        return true;
    c.lastResult = Device().VelaRecorderClose(c.recorderHandle);
    if (c.lastResult < 0)
        return false; // still recording, so the stop can be repeated
    c.recording = 0;
    return true;
}

bool GetRecorderStatus(CameraContext &c, int32_t *index, int32_t *count)
{
    VelaRecorderStatusRecord status{};
    status.size = sizeof status;
    c.lastResult = Device().VelaRecorderStatus(c.recorderHandle, &status);
    if (c.lastResult < 0)
        return false;
    *index = status.currentIndex;
    *count = status.totalCount;
    return true;
}

bool WriteRecorderText(CameraContext &c, uint32_t level, uint32_t index, const void *text,
                       uint32_t length)
{
    VelaTextRecord record{};
    record.size = sizeof record;
    record.kind = 1;
    switch (level) {
    case 0:
        record.level = VELA_TEXT_FILE;
        break;
    case 1:
        record.level = VELA_TEXT_GROUP;
        record.index = static_cast<int32_t>(index);
        break;
    case 2:
        record.level = VELA_TEXT_FRAME;
        record.index = static_cast<int32_t>(index);
        break;
    default: // any other level stores a frame text for frame 0
        break;
    }
    record.text = text;
    record.length = length;
    c.lastResult = Device().VelaRecorderWriteText(c.recorderHandle, &record);
    return c.lastResult >= 0;
}

static bool LockRecorded(CameraContext &c, int32_t index, VelaFrameRecord &r)
{
    r = VelaFrameRecord{};
    r.size = sizeof r;
    r.index = index;
    c.lastResult = Device().VelaRecorderLockFrame(c.recorderHandle, &r);
    return c.lastResult >= 0;
}

bool LockRecorderFrame(CameraContext &c, int32_t index, const void **address, double *stamp)
{
    VelaFrameRecord r;
    if (!c.timeOriginSet) {
        if (!LockRecorded(c, 0, r))
            return false;
        c.timeOrigin = FrameStampSeconds(r);
        c.timeOriginSet = 1;
    }
    if (!LockRecorded(c, index, r))
        return false;
    *address = r.address;
    *stamp = FrameStampSeconds(r) - c.timeOrigin;
    c.rowBytes = r.rowBytes;
    return true;
}

} // namespace qxcm
