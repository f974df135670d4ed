// Property ids whose behaviour the simulated device implements (geometry, timing, triggers,
// corrections). Any other property of a model is plain stored data.
#pragma once

#include <stdint.h>

namespace velasim {

constexpr uint32_t kPropTriggerSource = 0x00100110;
constexpr uint32_t kPropTriggerActive = 0x00100120;
constexpr uint32_t kPropTriggerMode = 0x00100210;
constexpr uint32_t kPropTriggerPolarity = 0x00100220;
constexpr uint32_t kPropExposureTime = 0x001F0110;
constexpr uint32_t kPropSensitivity = 0x00200220;
constexpr uint32_t kPropSensorTemperature = 0x00200310;
constexpr uint32_t kPropSensorCooler = 0x00200320;
constexpr uint32_t kPropRecursiveFilter = 0x00380110;
constexpr uint32_t kPropRecursiveFilterFrames = 0x00380120;
constexpr uint32_t kPropBackgroundSubtract = 0x00380210;
constexpr uint32_t kPropBackgroundSubtractSlot = 0x00380220;
constexpr uint32_t kPropBackgroundStoreSlot = 0x00380230;
constexpr uint32_t kPropShadingCorrection = 0x00380310;
constexpr uint32_t kPropShadingCorrectionSlot = 0x00380320;
constexpr uint32_t kPropShadingStoreSlot = 0x00380330;
constexpr uint32_t kPropFrameAveraging = 0x003803A0;
constexpr uint32_t kPropFrameAveragingFrames = 0x003803B0;
constexpr uint32_t kPropReferenceCaptureMode = 0x00380410;
constexpr uint32_t kPropOutputLut = 0x00380510;
constexpr uint32_t kPropOutputLutSelect = 0x00380520;
constexpr uint32_t kPropReadoutSpeed = 0x00400110;
constexpr uint32_t kPropSensorMode = 0x00400210;
constexpr uint32_t kPropTestPattern = 0x00400410;
constexpr uint32_t kPropTestPatternKind = 0x00400510;
constexpr uint32_t kPropTestPatternOption = 0x00400520;
constexpr uint32_t kPropRegionReadout = 0x00400620;
constexpr uint32_t kPropBinning = 0x00401110;
constexpr uint32_t kPropSubarrayHpos = 0x00402110;
constexpr uint32_t kPropSubarrayHsize = 0x00402120;
constexpr uint32_t kPropSubarrayVpos = 0x00402130;
constexpr uint32_t kPropSubarrayVsize = 0x00402140;
constexpr uint32_t kPropSubarrayMode = 0x00402150;
constexpr uint32_t kPropFrameOverheadTime = 0x00403010;
constexpr uint32_t kPropNumberOfViews = 0x004201C0;
constexpr uint32_t kPropImageWidth = 0x00420210;
constexpr uint32_t kPropImageHeight = 0x00420220;
constexpr uint32_t kPropImageRowBytes = 0x00420230;
constexpr uint32_t kPropImageFrameUnits = 0x00420240;
constexpr uint32_t kPropImageViewOffset = 0x00420250;
constexpr uint32_t kPropImagePixelType = 0x00420270;
constexpr uint32_t kPropBundleMode = 0x00421010;
constexpr uint32_t kPropBundleNumber = 0x00421020;
constexpr uint32_t kPropBundleStepBytes = 0x00421040;
constexpr uint32_t kPropElectronFactor = 0x00FFE010;
constexpr uint32_t kPropElectronOffset = 0x00FFE020;
constexpr uint32_t kPropReplayPace = 0x00FF0110; // 1 recorded, 2 as fast as the host takes
constexpr uint32_t kPropReplayEnd = 0x00FF0120;  // 1 loop, 2 stop

constexpr uint32_t kSensorModeSplitView = 14;
constexpr double kOff = 1.0, kOn = 2.0;

} // namespace velasim
