// Sequence files opened for reading: 16 slots, independent of any camera.
#pragma once

#include <cstdint>

#include "core/library_state.h"

namespace qxcm {

// Opens the file at `path` in a slot (or finds the slot that already holds it). Answers 0 or
// the code to report.
int32_t OpenSequenceFileSlot(const char *path, uint32_t *slot, int32_t *frameCount);
// Reads the file-level text of an open slot into the host's buffer; outcome not reported.
void ReadFileText(SequenceFileSlot &s, void *buffer);
// The slot behind a host's number when it is open; else null with the code to report.
SequenceFileSlot *OpenSlot(uint32_t slot, int32_t *code, bool freeSlotGivesSlotResult);
int32_t CloseSequenceFile(SequenceFileSlot &s);
// Locks frame `index`; answers 0 or the code to report.
int32_t LockFileFrame(SequenceFileSlot &s, int32_t index, uint32_t option, VlseqFrameRecord &r);
// Seconds of frame `index` since the file's first frame; false outside the file.
bool FileFrameStamp(const SequenceFileSlot &s, int32_t index, double *stamp);
// Copies frame `index` (rows x pitch) to the host's destination and, with `stamp`, its time
// stamp; answers 0 or the code to report, having written nothing then.
int32_t CopyFileFrame(SequenceFileSlot &s, int32_t index, uint32_t option, void *destination,
                      double *stamp);
// The width and rows of frame `index`; answers 0 or the code to report.
int32_t FileFrameSize(SequenceFileSlot &s, int32_t index, uint32_t *width, uint32_t *height);
bool ReadSequenceText(SequenceFileSlot &s, int32_t level, uint32_t index, void *buffer,
                      uint32_t size);

} // namespace qxcm
