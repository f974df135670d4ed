// What a capture hands each produced frame to when a recorder is connected to it.
#pragma once

#include <stdint.h>

#include "frame_source.h"

namespace velasim {

class RecorderSink {
  public:
    virtual ~RecorderSink() = default;
    // Called from the thread that produced the frame, without the camera's lock held; the
    // frame stays valid for the duration of the call.
    virtual void Append(const uint8_t *frame, const Geometry &geometry, uint32_t stampSeconds,
                        int32_t stampMicroseconds) = 0;
};

} // namespace velasim
