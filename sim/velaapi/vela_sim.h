// Control surface of the simulated device library, for tests and demos only. The qxcm library
// never resolves these; a test links the stand-in directly and shares its state with the copy
// that qxcm loads (the same module is loaded once per process).
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define VELASIM_API
#else
#define VELASIM_API __attribute__((visibility("default")))
#endif

// Back to the state of a fresh load: default camera set, no open device, no faults, free-running
// clock, empty journal, not initialised.
VELASIM_API void VelaSim_Reset(void);

// Replaces the camera set with the models described in text (format: sim/velaapi/README.md).
// Returns the number of cameras, or a negative code when the text is malformed.
VELASIM_API int32_t VelaSim_LoadCameraSet(const char *text);

// Sets a property of camera `camera` to `value` as the device itself would (no writability or
// range check), with the same dependent updates as a host write. Returns 1 or a negative code.
VELASIM_API int32_t VelaSim_SetProperty(int32_t camera, uint32_t id, double value);
VELASIM_API int32_t VelaSim_GetProperty(int32_t camera, uint32_t id, double *value);

// Fault injection: the nth matching call from now on (1 = the next one) returns `code` instead
// of working. `op` is an operation name ("VelaSetValue") or "*" for any operation;
// `propertyId` 0 matches any call, otherwise only calls that carry that property id. With
// `sticky` nonzero every matching call from the nth on fails. Several faults may be armed.
VELASIM_API void VelaSim_FailCall(const char *op, uint32_t propertyId, int32_t nth, int32_t code,
                                  int32_t sticky);
VELASIM_API void VelaSim_ClearFaults(void);
// Under the manual clock: camera `camera` delivers `count` frames right after the nth call of
// `op` from now (1 = the next one) has done its work, as a device that moves on between two
// calls of the host. VelaSim_ClearFaults disarms it.
VELASIM_API void VelaSim_DeliverAfter(const char *op, int32_t nth, int32_t camera, int32_t count);

// Manual clock: with it on, frames arrive only when DeliverFrames is called (each frame
// advances the simulated time by one frame interval; the count is of frames exposed, lost ones
// included, and so is the result). Off: a producer thread paces the frames.
// 2: the manual clock, and a wait that finds nothing pending times out at once, advancing the
// simulated time by its limit (for time-outs without waiting; also a wait without a limit).
VELASIM_API void VelaSim_SetManualClock(int32_t on);
VELASIM_API int32_t VelaSim_DeliverFrames(int32_t camera, int32_t count);

// Frames lost between the sensor and the host, from the next exposure on: a lost frame uses up
// its number (the next delivered frame's number jumps) and is never delivered. SetFrameLoss:
// a rate in (0, 1] from a seed; SetLostFrames: strictly ascending numbers 0..4294967295, none
// (count 0) to lose nothing. Anything else is refused with VELA_ERR_INVALIDPARAM and changes
// nothing. FrameLost: 1 when the camera's plan loses that number, else 0 (negative: no camera).
// The variable VELASIM_FRAME_LOSS ("RATE@SEED" or "N,N,...") gives every camera a plan when
// the camera set is loaded.
VELASIM_API int32_t VelaSim_SetFrameLoss(int32_t camera, double rate, uint64_t seed);
VELASIM_API int32_t VelaSim_SetLostFrames(int32_t camera, const int64_t *numbers, int32_t count);
VELASIM_API int32_t VelaSim_FrameLost(int32_t camera, int64_t number);

// Back-pressure of a connected recorder on the capture: on (the default), a full ring holds up
// the sensor; off, the sensor keeps its pace and the recorder drops the frames that find no
// room, recording the gap.
VELASIM_API int32_t VelaSim_SetBackPressure(int32_t camera, int32_t on);
// A slow disk: every recorder's writer thread waits this many microseconds (0 to 1,000,000)
// before each frame it writes; 0 again after VelaSim_Reset.
VELASIM_API int32_t VelaSim_SetRecorderDelay(int32_t microseconds);

// Journal of every device call, one line each: "Name(arg=value, ...) -> result".
VELASIM_API int32_t VelaSim_JournalCount(void);
// Copies line `index` (0-based) into text, always terminated; returns its full length or -1.
VELASIM_API int32_t VelaSim_JournalLine(int32_t index, char *text, int32_t capacity);
VELASIM_API void VelaSim_JournalClear(void);
// Journal on (default) or off; off spares high-rate loops the formatting.
VELASIM_API void VelaSim_JournalEnable(int32_t on);

#ifdef __cplusplus
}
#endif
