// The process-wide state of the library: camera slots with their per-camera records, the open
// flags, the API level and the sequence-file slots. One instance lives for the whole process;
// the host reaches a camera only through its slot index.
#pragma once

#include <cstdint>
#include <vector>

#include "vlseqapi/vlseq_api.h"

namespace qxcm {

constexpr int kMaxProperties = 128;
constexpr int kMaxValueTexts = 64;
constexpr int kMaxViews = 4;
constexpr int kParameterMapSize = 128;
// Parameter numbers below this one reach their record through the map; from
// kParameterMapSize on they are function ids.
constexpr int32_t kMappedParameterLimit = 100;

// Host parameter numbers the library binds or reads itself. Both opens bind binning, sensor
// mode, exposure, the four trigger settings and the frame overhead; the older open binds all
// 38 numbers and stands in for some with records of its own.
constexpr int32_t kParameterBinning = 1;
constexpr int32_t kParameterHeightFactor = 3; // cached 0: frames are its maximum times taller
constexpr int32_t kParameterSensorMode = 5;
constexpr int32_t kParameterScanMode = 6;
constexpr int32_t kParameterExposureTime = 7; // seconds
constexpr int32_t kParameterGain = 8;
constexpr int32_t kParameterOffset = 9;
constexpr int32_t kParameterLightMode = 10;
constexpr int32_t kParameterSensitivity = 11;
constexpr int32_t kParameterWhiteBalance = 12;
constexpr int32_t kParameterTriggerSource = 15;
constexpr int32_t kParameterTriggerActive = 16;
constexpr int32_t kParameterTriggerMode = 17;
constexpr int32_t kParameterTriggerPolarity = 18;
constexpr int32_t kParameterTriggerTimes = 21;
constexpr int32_t kParameterTemperature = 25;
constexpr int32_t kParameterTemperatureTarget = 26;
constexpr int32_t kParameterMechanicalShutter = 28;
constexpr int32_t kParameterBundleMode = 30;    // kBundleModeOn bundles kParameterBundleFrames
constexpr int32_t kParameterBundleFrames = 31;  // images per buffer frame while bundling
constexpr int32_t kParameterFrameOverhead = 38; // seconds; the last number the older open binds
constexpr double kBundleModeOff = 1.0;
constexpr double kBundleModeOn = 2.0;
// Trigger sources that start a frame at a time the library cannot tell.
constexpr double kTriggerSourceExternal = 2.0;
constexpr double kTriggerSourceSoftware = 3.0;

// Record kinds: what a record's propertyId holds.
constexpr uint32_t kRecordCapability = 0; // one of the older open's kCap* settings
constexpr uint32_t kRecordFeature = 1;    // an older feature number
constexpr uint32_t kRecordDevice = 2;     // a device property id

// Record value types, as the device reports them in its attribute bits.
constexpr uint32_t kValueTypeNone = 0;
constexpr uint32_t kValueTypeList = 1;
constexpr uint32_t kValueTypeLong = 2;
constexpr uint32_t kValueTypeReal = 3;
constexpr int kFileSlotCount = 16;
constexpr int kPathCapacity = 128;

struct PropertyRecord {
    uint32_t propertyId;
    uint32_t kind; // kRecordDevice, or a substitute of the older open
    uint32_t valueType;
    uint32_t attributes;
    char name[64];
    double minValue;
    double maxValue;
    double stepValue;
    double defaultValue;
    double cachedValue[kMaxViews]; // index = view, 0 = common value
    int32_t valueTextCount;
    char valueTexts[kMaxValueTexts][64];
    double textValues[kMaxValueTexts];
};

struct CameraContext {
    uint64_t deviceHandle;
    uint64_t waitHandle;
    uint64_t recorderHandle;
    int32_t lastResult;        // result of the latest device call made for this camera
    double *frameElectronInfo; // bufferFrameCount pairs, owned
    int32_t captureStartMode;  // -1 sequence, 0 snap
    int32_t framesTaken;
    int32_t bufferFrameCount;
    int32_t rowBytes;
    uint32_t bufferState; // 0 none, 1 device buffers, 2 host buffers attached
    uint32_t frameWidth;
    uint32_t frameHeight;
    double frameOverheadSeconds;
    uint8_t recording;
    uint8_t timeOriginSet;
    double timeOrigin;
    uint8_t bundleEnabled;
    uint32_t bundleSize;
    uint32_t imagesPerFrame; // bundle members in each buffer frame of the prepared geometry
    uint8_t multiRegionCapable;
    uint32_t calibrationTimeout; // milliseconds
    int32_t propertyCount;
    PropertyRecord properties[kMaxProperties];
    int32_t parameterMap[kParameterMapSize];
    uint32_t dataType;
    uint64_t openSerial; // which opening of the slot this is; see CameraStillOpen
};

struct SequenceFileSlot {
    uint64_t fileHandle = 0;
    int32_t slotResult = 1;
    uint8_t inUse = 0;
    uint8_t libraryPending = 1;
    char path[kPathCapacity] = {};
    int32_t frameCount = 0;
    std::vector<VlseqStamp> stamps; // frameCount stamps, read once at open
    uint8_t stampBlock[48] = {};
    double fileTimeOrigin = 0.0;
};

struct LibraryState {
    uint32_t cameraCount = 0;
    CameraContext *contexts = nullptr;
    std::vector<uint32_t> openFlags; // bits packed in 32-bit words
    uint32_t openFlagBits = 0;
    int32_t apiLevel = 0;
    uint64_t openings = 0; // every opening of any slot takes the next number
    SequenceFileSlot fileSlots[kFileSlotCount];
};

LibraryState &State();

// True while slot `index` exists and holds an open camera.
bool IsCameraOpen(uint32_t index);
void SetCameraOpen(uint32_t index, bool open);
// True when any slot holds an open camera.
bool AnyCameraOpen();

// Rebuilds the slot table for n cameras, all closed and zeroed. Devices of open slots are not
// closed. Returns false (with an empty table) when the table cannot be allocated.
bool ResizeCameraSlots(uint32_t n);

// Releases the buffers by the device's capture status and closes the device; no result is
// examined and lastResult stays as it was. The capture bookkeeping goes with the device's
// buffers, so a camera opened again starts with none.
void CloseDevice(CameraContext &c);
// The same after stopping capture first; the stop's result lands in lastResult.
void StopAndCloseDevice(CameraContext &c);
// StopAndCloseDevice for every open camera, each slot marked closed; true when any was open.
bool CloseEveryOpenCamera();

// Stops, releases and closes every open camera; runs once at process exit.
void ShutdownLibrary();

} // namespace qxcm
