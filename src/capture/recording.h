// Recording a capture to a sequence file through the device library's recorder.
#pragma once

#include <cstdint>

#include "core/library_state.h"

namespace qxcm {

// Fills `buffer` (kPathCapacity bytes) with the host's path, ".vlseq" appended when the path
// does not contain it anywhere. False when the path is missing or does not fit.
bool RecordingPath(const char *path, char *buffer);

// Opens a recorder on the host's path and connects it to the capture. 0 on success, otherwise
// the code to report: QXERR_INVALIDPARAM for a path RecordingPath refuses (before any device
// call), or the device's failure, also kept in lastResult. A recorder that opened but could not
// connect stays in recorderHandle.
int32_t StartRecorder(CameraContext &c, const char *path, uint32_t maxFrames, uint32_t flags);
bool CloseRecorder(CameraContext &c);
bool GetRecorderStatus(CameraContext &c, int32_t *index, int32_t *count);
bool WriteRecorderText(CameraContext &c, uint32_t level, uint32_t index, const void *text,
                       uint32_t length);
bool LockRecorderFrame(CameraContext &c, int32_t index, const void **address, double *stamp);

} // namespace qxcm
