// Locking a captured frame: its place, pitch and identity in the device's ring, its time stamp,
// and the check that it was not replaced while the host copied it.
#pragma once

#include <cstdint>

#include "core/library_state.h"
#include "velaapi/vela_api.h"

namespace qxcm {

// A locked frame: where it is, its pitch and how many bytes the device holds there, and what
// identifies it in the device's ring (for ConfirmFrameUnchanged).
struct LockedFrame {
    const uint8_t *address;
    int32_t rowBytes;
    int64_t bytes; // the device's frame size (rows x pitch); copies stay inside it
    double stamp;  // seconds since the time origin
    int32_t index; // the buffer frame that was locked, and the lock's option
    uint32_t option;
    uint32_t frameNumber; // the device's running number and raw stamp of that frame
    uint32_t stampSeconds;
    int32_t stampMicroseconds;
};

// What a lock record says of buffer frame `index`: address, pitch, size and identity; the stamp
// relative to the time origin is left to the caller.
LockedFrame DescribeFrame(const VelaFrameRecord &r, int32_t index, uint32_t option);

// A lock is only a pointer into the device's ring: a free-running camera that laps a slow host
// rewrites the buffer while the host copies it. Every copy out of a locked frame calls this
// after copying and before reporting success: it locks the same buffer again and compares the
// frame's running number and stamp. 0 when the frame is the one that was copied;
// QXERR_LOSTFRAME when it was replaced, or is being replaced and cannot be locked again (the
// copy is then torn and the destination's contents are undefined).
int32_t ConfirmFrameUnchanged(CameraContext &c, const LockedFrame &frame);
constexpr uint32_t kPropViewOffset = 0x00420250; // per view: where its rows begin, in bytes

// Locks buffer frame `index` into `r` as it is, without the time origin; 0 or the device's
// code (also kept in lastResult).
int32_t LockDeviceFrame(CameraContext &c, int32_t index, uint32_t option, VelaFrameRecord &r);
// Takes the time origin from buffer frame 0 unless it is set; 0 or the device's code.
int32_t TakeTimeOrigin(CameraContext &c);

// A locked frame's time stamp in seconds (microseconds signed, seconds unsigned).
double FrameStampSeconds(const VelaFrameRecord &r);

// The locks answer 0 on success or the code to report: a device failure's code (also kept in
// lastResult), or QXERR_INVALIDPARAM for a frame the device describes in a way that no copy
// could stay inside.
int32_t LockCaptureFrame(CameraContext &c, LockedFrame &frame, int32_t index, uint32_t option);
// Where the two views of a split frame begin (the device's per-view offsets are bytes).
enum class ViewPlacement {
    ByLayout,      // per-view offsets in the two-view sensor layout, else the second view's size
    ByViewOffsets, // always per-view offsets; the first is also read once before the lock
};
// Also locates the two views of a split frame; each lies inside the locked frame.
int32_t LockSplitFrame(CameraContext &c, LockedFrame &frame, const uint8_t **view1,
                       const uint8_t **view2, int32_t index, uint32_t option,
                       ViewPlacement placement = ViewPlacement::ByLayout);

// Bytes a copy of frameHeight rows of the locked pitch takes.
int64_t FrameCopyBytes(const CameraContext &c, const LockedFrame &frame);

// True when `bytes` from `offset` lie inside the locked frame.
bool InsideFrame(const LockedFrame &frame, int64_t offset, int64_t bytes);

} // namespace qxcm
