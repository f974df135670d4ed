// What a capture hands each produced frame to when a recorder is connected to it. The recorder
// queues copies of the frames and writes them on a thread of its own, so the capture runs at
// the camera's pace for as long as the disk keeps up, and at the disk's pace after that (or,
// without back-pressure, at its own pace, the recorder dropping what finds no room).
#pragma once

#include <stdint.h>

#include "frame_source.h"

namespace velasim {

class RecorderSink {
  public:
    virtual ~RecorderSink() = default;

    // Blocks until the queue has room for `images` more images, or the recorder will not take
    // them. Call it before producing a frame, without the camera's lock and while holding no
    // buffer, so that a stop, release or close never waits behind the disk.
    virtual void AwaitRoom(uint32_t images) = 0;

    // Queues a copy of every image of the frame, in the order of the calls. Called from the
    // thread that produced the frame, without the camera's lock held; the frame stays valid for
    // the duration of the call. Waits for room only when another producer took what AwaitRoom
    // found.
    // `firstImage` is the device's number of the frame's first image; with `mayWait` false an
    // image that finds the queue full is dropped and counted in the gap before the next one.
    virtual void Append(const uint8_t *frame, const Geometry &geometry, uint32_t stampSeconds,
                        int32_t stampMicroseconds, uint64_t firstImage, bool mayWait) = 0;

    // `images` were exposed but never delivered. Called like Append.
    virtual void Lost(uint32_t images) = 0;

    // The device went away: take no more frames, write the queued ones and end the writer
    // thread. Call it without the camera's lock; the file stays open for the recorder's owner.
    virtual void Detach() = 0;
};

} // namespace velasim
