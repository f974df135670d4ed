/* qxcm: camera control for scientific cameras. Plain C, usable from C, C++, MATLAB loadlibrary
 * and Python ctypes. Every function returns 1 on success and 0 on failure (exceptions are
 * noted) and reports the cause of a failure through its error out-parameter, which keeps its
 * value on success.
 *
 * Threads (README.md "Threads" has the table). Call the library from one thread at a time, with
 * one exception: a frame or event wait (QXCM_WAITNEXTFRAME_40, QXCM_WAITNEXTFRAME,
 * QXCM_WAITFOREVENT, QXCM_GETNEXTFRAME and its _A, _B, _U8 variants) may be ended from another
 * thread by a stop, an unprepare after the stop or a close of the same camera (either family),
 * or a de-initialisation that closes cameras (QXCM_DEINITIALIZE, QXCM_DEINITIALIZE_40 or
 * QXCM_DEINITIALIZE_A forced). The wait then fails: QXERR_ABORT after a close or
 * de-initialisation, the device's code (such as QXERR_ABORT) after a stop; later calls on a
 * closed camera fail with QXERR_INVALIDHANDLE. A host serialises every other overlap itself:
 * one internal lock, let go only while a wait blocks in the device, keeps memory safe, but the
 * results are not defined. A reference capture and the correction switches hold it until they
 * end. */
#ifndef QXCM_QXCM_H
#define QXCM_QXCM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QXCM_BUILDING) && !defined(_WIN32)
#define QXCM_API __attribute__((visibility("default")))
#else
#define QXCM_API
#endif

/* Error codes raised by the library itself; other codes come from the device library. */
#define QXERR_NONE ((int32_t)0x00000000)
#define QXERR_API_LEVEL ((int32_t)0xFFFFFFFF)      /* library not initialised */
#define QXERR_API_LEVEL_OPEN ((int32_t)0x90000101) /* same, from open and close */
#define QXERR_OPEN_FAILED ((int32_t)0x82001001)    /* the camera could not be opened */
#define QXERR_TIMEOUT ((int32_t)0x80000106)
#define QXERR_ABORT ((int32_t)0x80000102)
#define QXERR_BUSY ((int32_t)0x80000101)
#define QXERR_LOSTFRAME ((int32_t)0x80000301) /* the frame was replaced while it was copied */
#define QXERR_NOMEMORY ((int32_t)0x80000203)
#define QXERR_NOMODULE ((int32_t)0x80000204)
#define QXERR_INVALIDHANDLE ((int32_t)0x80000807)
#define QXERR_INVALIDPARAM ((int32_t)0x80000808)
#define QXERR_INVALIDVIEW ((int32_t)0x8000082A)
#define QXERR_NOTSUPPORT ((int32_t)0x80000F03)
#define QXERR_FAILEDTOOPENVLSEQ ((int32_t)0x84001001)
#define QXERR_FAILEDREADDATA ((int32_t)0x84001004)

/* ---- Initialisation and errors ---- */
/* Opens the call log when log is nonzero, reports the library's and the device library's
 * version texts (64-character buffers, either may be null), initialises the device library and
 * reports the number of cameras. With a camera already open it only reports and returns 1.
 * reinit has no effect. */
QXCM_API int32_t QXCM_INITIALIZE_40(uint32_t *cameraCount, char *libraryVersion,
                                    char *deviceVersion, int32_t reinit, int32_t log,
                                    int32_t *error);
/* Closes every open camera when force is nonzero (refuses while cameras are open otherwise),
 * uninitialises the device library and closes the log. Always returns 1. */
QXCM_API int32_t QXCM_DEINITIALIZE_40(int32_t force);
/* Copies the text of an error code into a buffer of at least 128 characters; returns 0. */
QXCM_API int32_t QXCM_REPORTERROR(int32_t code, char *text);

/* ---- Cameras ---- */
/* Information ids for QXCM_GETCAMERAINFO_40. */
#define QXCM_INFO_BUS 0x04000101
#define QXCM_INFO_SERIAL 0x04000102
#define QXCM_INFO_MODEL 0x04000104

/* Opens camera i (0 to count - 1); force nonzero closes it first when it is open. */
QXCM_API int32_t QXCM_OPENCAMERA_40(uint32_t i, uint32_t force, int32_t *error);
QXCM_API int32_t QXCM_CLOSECAMERA_40(uint32_t i, int32_t *error);
/* An information text (64 characters) of camera i, open or not. */
QXCM_API int32_t QXCM_GETCAMERAINFO_40(uint32_t i, uint32_t id, char *text, int32_t *error);
/* The capture status: 1 capturing, 2 buffers prepared and idle. */
QXCM_API int32_t QXCM_GETCAMERASTATUS_40(uint32_t i, int32_t *status, int32_t *error);

/* ---- Parameters ----
 * A parameter is a number 0 to 99 (1 binning, 5 sensor mode, 7 exposure time in seconds,
 * 15 to 18 input trigger source, active, mode, polarity, 38 frame overhead time) or a function
 * id handed out by QXCM_GETNEXTPARAMETER_40. view selects one view of a split sensor for a
 * property with one value per view (0 to 3; 0 is the common value). */
QXCM_API int32_t QXCM_SETPARAMETER_40(uint32_t i, int32_t parameter, double value, int32_t view,
                                      int32_t *error);
QXCM_API int32_t QXCM_GETPARAMETER_40(uint32_t i, int32_t parameter, double *value, int32_t view,
                                      int32_t *error);
/* Enumerates the camera's parameters: start with *functionNumber = -1 and pass each answer
 * back; name is a 64-character buffer. Fails at the end of the list. */
QXCM_API int32_t QXCM_GETNEXTPARAMETER_40(uint32_t i, char *name, int32_t *functionNumber,
                                          int32_t *functionId, int32_t option, int32_t *error);
/* Limits, list flag (1 for a list of named values) and writable flag (131072 when writable). */
QXCM_API int32_t QXCM_GETPARAMETERLIMITS_40(uint32_t i, int32_t parameter, int32_t *isList,
                                            double *maxValue, double *minValue, double *step,
                                            double *defaultValue, int32_t *writable,
                                            int32_t *error);
/* As _40, with the number of views of a per-view parameter (1 otherwise). */
QXCM_API int32_t QXCM_GETPARAMETERLIMITS_41(uint32_t i, int32_t parameter, int32_t *isList,
                                            double *maxValue, double *minValue, double *step,
                                            double *defaultValue, int32_t *writable, int32_t *views,
                                            int32_t *error);
/* The text (32-character buffer) of a list value and the next list value (0.0 after last). */
QXCM_API int32_t QXCM_GETPARAMETERTEXT_40(uint32_t i, int32_t parameter, char *text, double value,
                                          double *nextValue, int32_t *error);
QXCM_API int32_t QXCM_GETVALUETEXT_40(uint32_t i, int32_t parameter, char *text, double value,
                                      int32_t *error);

/* ---- Sensor area ----
 * Offsets and sizes are sensor pixels; each change also updates the frame size that capture
 * preparation reports. */

/* Restricts readout to a rectangle (sub-array on); each value is aligned down to its step. */
QXCM_API int32_t QXCM_SETAREA_40(uint32_t i, int32_t hpos, int32_t vpos, int32_t hsize,
                                 int32_t vsize, int32_t *error);
/* The rectangle with, per coordinate, its value, minimum, maximum and step. */
QXCM_API int32_t QXCM_GETAREA_40(uint32_t i, int32_t *hpos, int32_t *hposMin, int32_t *hposMax,
                                 int32_t *hposStep, int32_t *vpos, int32_t *vposMin,
                                 int32_t *vposMax, int32_t *vposStep, int32_t *hsize,
                                 int32_t *hsizeMin, int32_t *hsizeMax, int32_t *hsizeStep,
                                 int32_t *vsize, int32_t *vsizeMin, int32_t *vsizeMax,
                                 int32_t *vsizeStep, int32_t *error);
/* Reads out only a list of regions (four values each: left, top, width, height, in image
 * pixels); on cameras that take region lists. */
QXCM_API int32_t QXCM_SETMULTIREGION_40(uint32_t i, const int32_t *regions, int32_t count,
                                        int32_t *error);
/* The two-view layout's rectangles (sensor mode 14): one size, one offset pair per view. */
QXCM_API int32_t QXCM_SETAREA_PAIRED_40(uint32_t i, int32_t hpos1, int32_t vpos1, int32_t hpos2,
                                        int32_t vpos2, int32_t hsize, int32_t vsize,
                                        int32_t *error);
/* The two-view rectangles with the shared minimum, maximum and step of each coordinate. */
QXCM_API int32_t QXCM_GETAREA_PAIRED_40(uint32_t i, int32_t *hpos1, int32_t *hpos2,
                                        int32_t *hposMin, int32_t *hposMax, int32_t *hposStep,
                                        int32_t *vpos1, int32_t *vpos2, int32_t *vposMin,
                                        int32_t *vposMax, int32_t *vposStep, int32_t *hsize,
                                        int32_t *hsizeMin, int32_t *hsizeMax, int32_t *hsizeStep,
                                        int32_t *vsize, int32_t *vsizeMin, int32_t *vsizeMax,
                                        int32_t *vsizeStep, int32_t *error);

/* ---- Triggers and pulses ---- */
/* The input trigger of an older trigger-mode number (1, 2, 4, 8, 16, 32, 64, 128, 256, 512,
 * 1024, 2000); times is not used (see QXCM_INPUTTRIGGERACTIVE_40). */
QXCM_API int32_t QXCM_SETINPUTTRIGGER_40(uint32_t i, int32_t mode, int32_t polarity, int32_t times,
                                         double delay, int32_t *error);
/* Trigger source (1 internal, 2 external, 3 software, 4 master pulse); polarity and delay
 * are written for source 2 only. */
QXCM_API int32_t QXCM_INPUTTRIGGERSOURCE_40(uint32_t i, int32_t source, int32_t polarity,
                                            double delay, int32_t *error);
/* Trigger active (1 edge, 2 level, 3 synchronous readout, which also takes option times). */
QXCM_API int32_t QXCM_INPUTTRIGGERACTIVE_40(uint32_t i, int32_t active, int32_t option,
                                            int32_t *error);
/* Trigger mode (1 normal, 3 double exposure, 6 start). */
QXCM_API int32_t QXCM_INPUTTRIGGERADVANCE_40(uint32_t i, int32_t option, int32_t *error);
/* Output trigger channel index: kind mode 1 to 5; kind 3 also takes source, and period and
 * delay in seconds, cut to whole microseconds (0 up to 2147.483647 s). */
QXCM_API int32_t QXCM_SETOUTPUTTRIGGER_40(uint32_t i, int32_t mode, int32_t polarity, double period,
                                          double delay, uint32_t source, uint32_t channel,
                                          int32_t *error);
/* The master pulse: mode (3 burst, which also takes burstCount), source and interval. */
QXCM_API int32_t QXCM_SETMASTERPULSE_40(uint32_t i, int32_t mode, int32_t source, double interval,
                                        int32_t burstCount, int32_t *error);

/* ---- Lookup table and device features ---- */
/* Loads and turns on an output lookup table of count (input, output) points, at least 2. */
QXCM_API int32_t QXCM_SETLUT_40(uint32_t i, const int32_t *points, int32_t count, int32_t *error);
/* Protection of the electron-multiplying gain stage, and its status (the protection level the
 * device reports). */
QXCM_API int32_t QXCM_SETEMPROTECTION_40(uint32_t i, int32_t mode, int32_t alarm, int32_t level,
                                         int32_t frames, int32_t *error);
QXCM_API int32_t QXCM_GETEMPROTECTSTATUS_40(uint32_t i, int32_t *status, int32_t *error);
/* The electron conversion factor and offset; both or neither are written. */
QXCM_API int32_t QXCM_GETELECTRONINFO_40(uint32_t i, float *conversion, float *offset,
                                         int32_t *error);
/* Sensor cooler off (0) or on (1), on cameras that have one. */
QXCM_API int32_t QXCM_SENSORCOOLER_40(uint32_t i, int32_t enable, int32_t *error);
/* Test pattern in place of the picture: on for any nonzero enable; with _41, enable 2 also sets
 * the pattern kind and its option. */
QXCM_API int32_t QXCM_TESTPATTERN_40(uint32_t i, int32_t enable, int32_t *error);
QXCM_API int32_t QXCM_TESTPATTERN_41(uint32_t i, int32_t enable, int32_t kind, int32_t option,
                                     int32_t *error);

/* ---- Capture ----
 * Host data types, as the capture preparations and starts report them. For the colour types a
 * pixel is three samples and widths are given in samples. */
#define QXCM_DATATYPE_MONO8 ((uint32_t)0)  /* one byte per sample */
#define QXCM_DATATYPE_MONO16 ((uint32_t)7) /* two bytes per sample */
#define QXCM_DATATYPE_RGB24 ((uint32_t)4)  /* colour, one byte per sample */
#define QXCM_DATATYPE_RGB48 ((uint32_t)6)  /* colour, two bytes per sample */
/* Two bytes per sample, the older family's code: its copies accept it, no call reports it. */
#define QXCM_DATATYPE_MONO16_LEGACY ((uint32_t)1)

/* Prepares buffers for frames (mode 1: sequence capture into a ring of at least 5 frames; any
 * other mode: snap of at least 1 frame) and reports the frame geometry and data type. */
QXCM_API int32_t QXCM_PREPARECAPTURE_40(uint32_t i, uint32_t mode, int32_t frames, uint32_t *width,
                                        uint32_t *height, uint32_t *dataType, int32_t *error);
/* As _40, with frame bundling switched off first; reserved is not used. */
QXCM_API int32_t QXCM_PREPARECAPTURE_41(uint32_t i, uint32_t mode, int32_t frames, uint32_t *width,
                                        uint32_t *height, uint32_t *dataType, uint64_t reserved,
                                        int32_t *error);
/* Hands the host's own frame buffers to the device; they must stay valid until released. */
QXCM_API int32_t QXCM_PREPARE_ATTACH_40(uint32_t i, uint32_t mode, void **buffers,
                                        uint32_t bufferCount, int32_t *totalFrames, int32_t *error);
QXCM_API int32_t QXCM_UNPREPARECAPTURE_40(uint32_t i, int32_t *error);
/* The geometry of the last preparation (height first); no log lines. */
QXCM_API int32_t QXCM_GETBUFFERSIZE_40(uint32_t i, uint32_t *height, uint32_t *width,
                                       int32_t *error);
/* Frame bundling on (enable nonzero, at most sizeMax frames, -1 = as many as the device
 * allows) or off; reports the frames per bundle. */
QXCM_API int32_t QXCM_FRAMEBUNDLE_40(uint32_t i, int32_t enable, int32_t sizeMax,
                                     int32_t *bundleSize, int32_t *error);
QXCM_API int32_t QXCM_STARTCAPTURE_40(uint32_t i, int32_t *error);
QXCM_API int32_t QXCM_STOPCAPTURE_40(uint32_t i, int32_t *error);
/* Waits for the next frame: timeLimit in milliseconds, 0xFFFFFFFF for an automatic limit
 * from the exposure time. Reports the buffer index of the frame and the frame count. */
QXCM_API int32_t QXCM_WAITNEXTFRAME_40(uint32_t i, uint32_t timeLimit, int32_t *frameIndex,
                                       int32_t *frameCount, int32_t *error);
/* The device's newest buffer index and the frames captured since the start. */
QXCM_API int32_t QXCM_GETCAPTUREINFO_40(uint32_t i, int32_t *frameIndex, int32_t *frameCount,
                                        int32_t *error);
/* Computes no rate: always fails with the code of the camera's latest device call. */
QXCM_API int32_t QXCM_GETFRAMESPERSECOND_40(uint32_t i, double *reserved, int32_t *error);
QXCM_API int32_t QXCM_FIRETRIGGER_40(uint32_t i, int32_t *error);

/* ---- Frames ----
 * Destinations hold height x row pitch bytes (the pitch the device reports, at least
 * width x bytes per pixel); time stamps are seconds since buffer frame 0 of this capture. */
QXCM_API int32_t QXCM_GETFRAME_40(uint32_t i, uint32_t frameIndex, void *destination,
                                  double *timeStamp, uint32_t option, int32_t *error);
/* As _40; with bundling on, bundleIndex picks one frame of the bundle. */
QXCM_API int32_t QXCM_GETFRAME_41(uint32_t i, int32_t frameIndex, int32_t bundleIndex,
                                  void *destination, double *timeStamp, uint32_t option,
                                  int32_t *error);
/* Extension (ordinal 143): the device's running number of buffer frame `frameIndex` and its
 * stamp as the copies report it. It counts every frame exposed, so a jump is frames never
 * delivered; the stamp tells which copy it names. With bundling on it numbers the bundle's first
 * image (member k is number + k), as images and recordings do. */
QXCM_API int32_t QXCM_GETFRAMENUMBER_40(uint32_t i, int32_t frameIndex, uint32_t *frameNumber,
                                        double *timeStamp, int32_t *error);
/* The two views of a split sensor into two destinations. */
QXCM_API int32_t QXCM_GETFRAME_SPLIT_40(uint32_t i, uint32_t frameIndex, void *destination1,
                                        void *destination2, double *timeStamp, uint32_t option,
                                        int32_t *error);
/* Packed 12-bit pixels expanded to 16-bit words (values 0 to 4095), height x (width / 2) x 2
 * words with no gap between rows. */
QXCM_API int32_t QXCM_GETFRAME_PACK12_40(uint32_t i, uint32_t frameIndex, uint16_t *destination,
                                         double *timeStamp, uint32_t option, int32_t *error);

/* ---- Recording ----
 * The device records captured frames to a sequence file while the host goes on waiting and
 * copying as usual. path: at most 127 characters including ".vlseq", which is appended when
 * the path does not contain it. bufferingMode 1 (and the _40 call) commits every frame
 * without forcing it to disk; any other mode forces batches of frames to disk. */
QXCM_API int32_t QXCM_STARTRECORDER_40(uint32_t i, const char *path, uint32_t maxFrames,
                                       int32_t *error);
QXCM_API int32_t QXCM_STARTRECORDER_41(uint32_t i, const char *path, int32_t maxFrames,
                                       int32_t bufferingMode, int32_t *error);
/* As _41, also reporting the recorder handle. */
QXCM_API int32_t QXCM_STARTRECORDER_42(uint32_t i, const char *path, int32_t maxFrames,
                                       int32_t bufferingMode, uint64_t *recorder, int32_t *error);
QXCM_API int32_t QXCM_STOPRECORDER_40(uint32_t i, int32_t *error);
/* The index of the latest recorded frame and the number of frames recorded. */
QXCM_API int32_t QXCM_GETRECORDERSTATUS_40(uint32_t i, int32_t *frameIndex, int32_t *frameCount,
                                           int32_t *error);
/* Stores a text in the file: level 0 file, 1 group (index = group), 2 frame (index = frame). */
QXCM_API int32_t QXCM_WRITEMETADATA_40(uint32_t i, uint32_t level, uint32_t index, const void *text,
                                       uint32_t length, int32_t *error);
/* Locks a recorded frame (its address is not handed out); reserved is not used. */
QXCM_API int32_t QXCM_GETRECORDERFRAME_40(uint32_t i, uint32_t frameIndex, uint64_t reserved,
                                          int32_t *error);
/* The older family's names of the same operations: no log lines. */
QXCM_API int32_t QXCM_STARTRECORDER(uint32_t i, const char *path, uint32_t maxFrames,
                                    int32_t *error);
QXCM_API int32_t QXCM_STOPRECORDER(uint32_t i, int32_t *error);
QXCM_API int32_t QXCM_GETRECORDERSTATUS(uint32_t i, int32_t *frameIndex, int32_t *frameCount,
                                        int32_t *error);
QXCM_API int32_t QXCM_WRITEMETADATA(uint32_t i, uint32_t level, uint32_t index, const void *text,
                                    uint32_t length, int32_t *error);

/* ---- Sequence files ----
 * Up to 16 files open for reading at once; a slot number names each. Opening a path that is
 * open already gives its slot again. None of these needs initialisation or writes log lines.
 * Frame indices run from 0 to the frame count - 1; stamps are seconds since frame 0. */
QXCM_API int32_t QXCM_OPENVLSEQFILE(uint32_t *slot, const char *path, int32_t *frameCount,
                                    int32_t *error);
QXCM_API int32_t QXCM_OPENVLSEQFILE_40(uint32_t *slot, const char *path, int32_t *frameCount,
                                       int32_t *error);
/* As QXCM_OPENVLSEQFILE, also copying the file-level text into text, which must hold it whole. */
QXCM_API int32_t QXCM_OPENVLSEQFILE_A(uint32_t *slot, const char *path, int32_t *frameCount,
                                      void *text, int32_t *error);
QXCM_API int32_t QXCM_CLOSEVLSEQFILE(uint32_t slot, int32_t *error);
QXCM_API int32_t QXCM_CLOSEVLSEQFILE_40(uint32_t slot, int32_t *error);
/* Width (samples per row for colour) and height of a frame. */
QXCM_API int32_t QXCM_GETVLSEQFRAMEINFO(uint32_t slot, uint32_t frameIndex, uint32_t *width,
                                        uint32_t *height, int32_t *error);
QXCM_API int32_t QXCM_GETVLSEQFRAMEINFO_40(uint32_t slot, uint32_t frameIndex, uint32_t *width,
                                           uint32_t *height, int32_t *error);
/* Copies a frame (height x packed row bytes) and its time stamp. */
QXCM_API int32_t QXCM_GETVLSEQFRAMEDATA_40(uint32_t slot, int32_t frameIndex, void *destination,
                                           double *timeStamp, uint32_t option, int32_t *error);
QXCM_API int32_t QXCM_GETVLSEQFRAMEDATA_A(uint32_t slot, int32_t frameIndex, void *destination,
                                          double *timeStamp, int32_t *error);
QXCM_API int32_t QXCM_GETVLSEQFRAMEDATA(uint32_t slot, uint32_t frameIndex, void *destination,
                                        int32_t *error);
/* Reads a text: level 0 file, 1 group, other frame; index names the group or frame. */
QXCM_API int32_t QXCM_READMETADATA(uint32_t slot, int32_t level, uint32_t index, void *buffer,
                                   uint32_t size, int32_t *error);
QXCM_API int32_t QXCM_READMETADATA_40(uint32_t slot, int32_t level, uint32_t index, void *buffer,
                                      uint32_t size, int32_t *error);
QXCM_API int32_t QXCM_GETTIMESTAMP(uint32_t slot, int32_t frameIndex, double *timeStamp,
                                   int32_t *error);
/* Does nothing; returns 0. */
QXCM_API int32_t QXCM_GETVLSEQINFO(void);

/* ---- Older family: initialisation, cameras, properties by name ----
 * No API-level test and no call log. Its initialisers set API level 30: the _40 family then
 * refuses with -1 until QXCM_INITIALIZE_40 runs again. */

/* Reports the slot count; initialises only when there are no slots yet. */
QXCM_API int32_t QXCM_INITIALIZE(uint32_t *count, int32_t *error);
/* Initialises again unless a camera is open (then only reports the count). */
QXCM_API int32_t QXCM_INITIALIZE_A(uint32_t *count, int32_t unused, int32_t *error);
/* As QXCM_INITIALIZE_A, reporting both versions first (64-character buffers, either null). */
QXCM_API int32_t QXCM_INITIALIZE_B(uint32_t *count, char *libraryVersion, char *deviceVersion,
                                   int32_t unused, int32_t *error);
/* As QXCM_INITIALIZE_B after closing the call log. */
QXCM_API int32_t QXCM_INITIALIZE_C(uint32_t *count, char *libraryVersion, char *deviceVersion,
                                   int32_t unused1, int32_t unused2, int32_t *error);
/* Releases slots and device library; with cameras open only when forced (closing them). */
QXCM_API int32_t QXCM_DEINITIALIZE_A(int32_t force);
/* Closes every open camera, releases slots and device library, closes the log; returns 1. */
QXCM_API int32_t QXCM_DEINITIALIZE(void);
/* Opens camera i with substitute records for settings it lacks; reports no error. */
QXCM_API int32_t QXCM_OPENCAMERA(uint32_t i);
/* Opens camera i; reopen nonzero closes an open camera first. */
QXCM_API int32_t QXCM_OPENCAMERA_A(uint32_t i, int32_t reopen, int32_t *error);
QXCM_API int32_t QXCM_CLOSECAMERA(uint32_t i, int32_t *error);
/* An information text (64 characters) of camera i, open or not. */
QXCM_API int32_t QXCM_GETCAMERAINFO(uint32_t i, uint32_t id, char *text, int32_t *error);
/* Walks the device's properties: *number 17296 starts, each call gives the next id + 17296. */
QXCM_API int32_t QXCM_GETNEXTPROPERTY(uint32_t i, char *name, int32_t *number, int32_t *error);
/* Writes and reads a device property by its id. */
QXCM_API int32_t QXCM_SETPROPERTYVALUE(uint32_t i, uint32_t id, float value, int32_t *error);
QXCM_API int32_t QXCM_GETPROPERTYVALUE(uint32_t i, uint32_t id, float *value, int32_t *error);
/* Limits of a parameter or property number (maximum before minimum). */
QXCM_API int32_t QXCM_GETPROPERTYINFO(uint32_t i, int32_t number, uint32_t *isList,
                                      double *maxValue, double *minValue, double *step,
                                      double *defaultValue, uint32_t *writable, int32_t *error);
/* The text (32 characters) of a list value and the value of the next text (0 after the last). */
QXCM_API int32_t QXCM_GETPROPERTYTEXT(uint32_t i, int32_t number, char *text, double value,
                                      double *nextValue, int32_t *error);
/* Reads a parameter or property number for view 0 to 3. */
QXCM_API int32_t QXCM_GETPARAMETER(uint32_t i, int32_t number, double *value, uint32_t view,
                                   int32_t *error);
/* Never succeeds; QXERR_NOTSUPPORT for a number the camera lacks, else QXERR_INVALIDPARAM. */
QXCM_API int32_t QXCM_GETRANGE(uint32_t i, int32_t number, double *a, double *b, double *c,
                               int32_t *error);

/* ---- Older family: settings ---- */
/* Writes a parameter or property number for view 0 to 3. */
QXCM_API int32_t QXCM_SETPARAMETER(uint32_t i, int32_t number, double value, uint32_t view,
                                   int32_t *error);
/* Trigger mode (1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024), polarity (parameters 15-18). */
QXCM_API int32_t QXCM_SETTRIGGER(uint32_t i, int32_t mode, int32_t polarity, int32_t *error);
/* Input trigger of an older mode (the modes above and 2000) with polarity and delay (seconds);
 * times is not used. */
QXCM_API int32_t QXCM_SETINPUTTRIGGER(uint32_t i, int32_t mode, int32_t polarity, int32_t times,
                                      float delay, int32_t *error);
/* Output trigger of a channel: kind 1 to 5, polarity, and for kind 3 period and delay (seconds,
 * whole microseconds below 2147.483648 s, else QXERR_INVALIDPARAM before any write). */
QXCM_API int32_t QXCM_SETOUTPUTTRIGGER(uint32_t i, int32_t mode, int32_t polarity, double period,
                                       double delay, uint32_t channel, int32_t *error);
/* As QXCM_SETOUTPUTTRIGGER; source is not read. */
QXCM_API int32_t QXCM_SETOUTPUTTRIGGER_A(uint32_t i, int32_t mode, int32_t polarity, double period,
                                         double delay, int32_t source, uint32_t channel,
                                         int32_t *error);
/* Writes master pulse mode, trigger source and interval, stopping at the first refusal. */
QXCM_API int32_t QXCM_SETMASTERPULSE(uint32_t i, int32_t mode, int32_t source, double interval,
                                     int32_t *error);
/* Sub-array: offsets and sizes in sensor pixels, aligned down to the device's steps. */
QXCM_API int32_t QXCM_SETAREA(uint32_t i, uint32_t hpos, uint32_t vpos, uint32_t hsize,
                              uint32_t vsize, int32_t *error);
/* The current sub-array. */
QXCM_API int32_t QXCM_GETAREA(uint32_t i, uint32_t *hpos, uint32_t *vpos, uint32_t *hsize,
                              uint32_t *vsize, int32_t *error);
/* The sub-array with value, minimum, maximum and step of each coordinate, as QXCM_GETAREA_40. */
QXCM_API int32_t QXCM_GETAREA_A(uint32_t i, uint32_t *hpos, uint32_t *hposMin, uint32_t *hposMax,
                                uint32_t *hposStep, uint32_t *vpos, uint32_t *vposMin,
                                uint32_t *vposMax, uint32_t *vposStep, uint32_t *hsize,
                                uint32_t *hsizeMin, uint32_t *hsizeMax, uint32_t *hsizeStep,
                                uint32_t *vsize, uint32_t *vsizeMin, uint32_t *vsizeMax,
                                uint32_t *vsizeStep, int32_t *error);
/* Selects a scan mode (1 to the camera's count). */
QXCM_API int32_t QXCM_SETSCANMODE(uint32_t i, int32_t mode, int32_t *error);
/* Not supported, one function under two names: always fails with QXERR_NOTSUPPORT. */
QXCM_API int32_t QXCM_SETCOOLING(uint32_t i, int32_t value, int32_t *error);
QXCM_API int32_t QXCM_SETSPOTNOISEREDUCER(uint32_t i, int32_t value, int32_t *error);
/* Older capture calls, no API-level test, no log lines. Prepares buffers (mode 1 sequence),
 * reporting width, height and data type. */
QXCM_API int32_t QXCM_PREPARECAPTURE(uint32_t i, uint32_t mode, uint32_t frames, uint32_t *width,
                                     uint32_t *height, uint32_t *dataType, int32_t *error);
/* Releases the buffers of a preparation or an older start. */
QXCM_API int32_t QXCM_UNPREPARECAPTURE(uint32_t i, int32_t *error);
/* Allocates (3 frames for mode 1, a sequence) and starts in one call. */
QXCM_API int32_t QXCM_STARTCAPTURE(uint32_t i, uint32_t mode, uint32_t frames, uint32_t *dataType,
                                   int32_t *error);
/* The same, also reporting width and height. */
QXCM_API int32_t QXCM_STARTCAPTURE_A(uint32_t i, uint32_t mode, uint32_t frames, uint32_t *dataType,
                                     uint32_t *width, uint32_t *height, int32_t *error);
/* Starts (again) with the mode of the last preparation or start. */
QXCM_API int32_t QXCM_STARTCAPTURE_B(uint32_t i, int32_t *error);
QXCM_API int32_t QXCM_STOPCAPTURE(uint32_t i, int32_t *error);
/* Waits for a frame; time limit 0xFFFFFFFF computes one. */
QXCM_API int32_t QXCM_WAITNEXTFRAME(uint32_t i, uint32_t timeLimit, int32_t *frameIndex,
                                    int32_t *frameCount, int32_t *error);
/* Waits for an event of the mask in *event; *event then holds the event that came. */
QXCM_API int32_t QXCM_WAITFOREVENT(uint32_t i, uint32_t timeLimit, uint32_t *event, int32_t *error);
/* Newest buffer index and frames captured since the start. */
QXCM_API int32_t QXCM_GETCAPTUREINFO(uint32_t i, int32_t *frameIndex, int32_t *frameCount,
                                     int32_t *error);
QXCM_API int32_t QXCM_FIRETRIGGER(uint32_t i, int32_t *error);
/* Width (samples per row for colour), height and, from _A, bytes per pixel. */
QXCM_API int32_t QXCM_GETFRAMESIZE(uint32_t i, uint32_t *width, uint32_t *height, int32_t *error);
QXCM_API int32_t QXCM_GETFRAMESIZE_A(uint32_t i, uint32_t *width, uint32_t *height,
                                     uint32_t *bytesPerPixel, int32_t *error);
/* Copies buffer frame frameIndex with the device's row pitch; _B also reports its stamp. */
QXCM_API int32_t QXCM_GETFRAME(uint32_t i, uint32_t frameIndex, void *destination, int32_t *error);
QXCM_API int32_t QXCM_GETFRAME_B(uint32_t i, uint32_t frameIndex, void *destination,
                                 double *timeStamp, int32_t *error);
/* Moves a frame copied with the device's pitch into rows of width x bytes per pixel. */
QXCM_API int32_t QXCM_GETFRAME_A(uint32_t i, const void *source, void *destination, int32_t *error);
/* Waits for the next frame and copies it in rows of width x bytes per pixel; _A with a time
 * limit in milliseconds (0 computes one). */
QXCM_API int32_t QXCM_GETNEXTFRAME(uint32_t i, void *destination, int32_t *error);
QXCM_API int32_t QXCM_GETNEXTFRAME_A(uint32_t i, void *destination, uint32_t timeLimit,
                                     int32_t *error);
/* Waits for and locks the next frame without copying it. */
QXCM_API int32_t QXCM_GETNEXTFRAME_B(uint32_t i, void *unused, uint32_t timeLimit, int32_t *error);
/* Waits for the next frame and copies it as 8 bits per pixel (width x height bytes). */
QXCM_API int32_t QXCM_GETNEXTFRAME_U8(uint32_t i, uint8_t *destination, uint32_t timeLimit,
                                      int32_t *error);
/* The two-view area with its limits, in the order of QXCM_GETAREA_PAIRED_40. */
QXCM_API int32_t QXCM_GETAREA_PAIRED(uint32_t i, int32_t *hpos1, int32_t *hpos2, int32_t *hposMin,
                                     int32_t *hposMax, int32_t *hposStep, int32_t *vpos1,
                                     int32_t *vpos2, int32_t *vposMin, int32_t *vposMax,
                                     int32_t *vposStep, int32_t *hsize, int32_t *hsizeMin,
                                     int32_t *hsizeMax, int32_t *hsizeStep, int32_t *vsize,
                                     int32_t *vsizeMin, int32_t *vsizeMax, int32_t *vsizeStep,
                                     int32_t *error);
/* Sets the two-view area (split-view layout only). */
QXCM_API int32_t QXCM_SETAREA_PAIRED(uint32_t i, int32_t hpos1, int32_t vpos1, int32_t hpos2,
                                     int32_t vpos2, int32_t hsize, int32_t vsize, int32_t *error);
/* Copies the two views of a split frame, each height rows with the device's pitch. */
QXCM_API int32_t QXCM_GETFRAME_PAIRED(uint32_t i, uint32_t frameIndex, void *view1, void *view2,
                                      double *timeStamp, int32_t *error);
/* Not supported: always fails with QXERR_NOTSUPPORT. */
QXCM_API int32_t QXCM_GETELECTRONFRAME(uint32_t i, uint32_t frameIndex, void *unused,
                                       int32_t *error);
/* Electron conversion factor and offset stored for a buffer frame (-1 when the camera has none). */
QXCM_API int32_t QXCM_GETELECTRONINFO(uint32_t i, int32_t frameIndex, float *factor, float *offset,
                                      int32_t *error);
/* Writes the EM protection level, alarm, mode and frames. */
QXCM_API int32_t QXCM_SETEMPROTECTION(uint32_t i, int32_t mode, int32_t alarm, int32_t level,
                                      int32_t frames, int32_t *error);
QXCM_API int32_t QXCM_GETEMPROTECTSTATUS(uint32_t i, int32_t *status, int32_t *error);

/* ---- Corrections ----
 * Recursive filter and frame averaging over `frames` frames (1 switches them off); each waits
 * one second first. */
QXCM_API int32_t QXCM_SETRECURSIVEFILTER_40(uint32_t i, int32_t frames, int32_t *error);
QXCM_API int32_t QXCM_SETFRAMEAVERAGING_40(uint32_t i, int32_t frames, int32_t *error);
/* Background subtraction on (enable != 0) with reference slot `frame`, or off. */
QXCM_API int32_t QXCM_BACKGROUNDSUBTRACT_40(uint32_t i, int32_t enable, int32_t frame,
                                            int32_t *error);
/* Captures a background reference into slot `frame`; QXERR_BUSY while capturing or recording.
 * _41 waits up to timeoutMs for the reference frame. */
QXCM_API int32_t QXCM_STOREBACKGROUNDFRAME_40(uint32_t i, int32_t frame, int32_t *error);
QXCM_API int32_t QXCM_STOREBACKGROUNDFRAME_41(uint32_t i, int32_t frame, int32_t timeoutMs,
                                              int32_t *error);
/* Shading correction on (enable != 0) with reference slot `frame`, or off. */
QXCM_API int32_t QXCM_SHADINGCORRECT_40(uint32_t i, int32_t enable, int32_t frame, int32_t *error);
/* Captures a shading reference into slot `frame`; QXERR_BUSY while capturing or recording.
 * _41 waits up to the larger of timeoutMs and the calibration time-out. */
QXCM_API int32_t QXCM_STORESHADINGFRAME_40(uint32_t i, int32_t frame, int32_t *error);
QXCM_API int32_t QXCM_STORESHADINGFRAME_41(uint32_t i, int32_t frame, int32_t timeoutMs,
                                           int32_t *error);
/* Older-family corrections: the same operations without API-level test or log. */
QXCM_API int32_t QXCM_SETRECURSIVEFILTER(uint32_t i, int32_t frames, int32_t *error);
QXCM_API int32_t QXCM_SETFRAMEAVERAGING(uint32_t i, int32_t frames, int32_t *error);
QXCM_API int32_t QXCM_SETBACKGROUNDFRAME(uint32_t i, int32_t enable, int32_t frame, int32_t *error);
QXCM_API int32_t QXCM_STOREBACKGROUNDFRAME(uint32_t i, int32_t frame, int32_t *error);
QXCM_API int32_t QXCM_SETSHADINGFRAME(uint32_t i, int32_t enable, int32_t frame, int32_t *error);
QXCM_API int32_t QXCM_STORESHADINGFRAME(uint32_t i, int32_t frame, int32_t *error);

#ifdef __cplusplus
}
#endif

#endif
