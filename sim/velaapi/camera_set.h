// Camera models as data: the text format that VelaSim_LoadCameraSet and VELASIM_CAMERAS take
// (README.md), parsed into one immutable description per camera. Behaviour tied to particular
// property ids (geometry, timing, corrections) lives in the device code; a model only says which
// properties exist, with their names, types, limits and value texts.
#pragma once

#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace velasim {

enum class ValueType : uint32_t { Mode = 0, List = 1, Long = 2, Real = 3 };

enum class PixelType : uint32_t { Mono8, Mono16, Mono12Packed, Rgb24 };

struct PropertyModel {
    uint32_t id = 0;
    std::string name;
    ValueType type = ValueType::Long;
    bool readable = true;
    bool writable = false;
    bool perView = false;
    double minValue = 0, maxValue = 0, stepValue = 1, defaultValue = 0;
    uint32_t unit = 0;
    uint32_t countId = 0; // array property: the property that holds the element count
    uint32_t countStep = 0;
    std::vector<std::pair<double, std::string>> texts; // list values in ascending order
};

struct FeatureModel {
    uint32_t number = 0;
    bool writable = true;
    float minValue = 0, maxValue = 0, stepValue = 1, defaultValue = 0;
};

class ReplayFile;

struct CameraModel {
    std::string name;
    std::vector<std::pair<uint32_t, std::string>> infos;
    uint32_t sensorWidth = 0, sensorHeight = 0;
    PixelType pixel = PixelType::Mono16;
    uint32_t range = 65535;  // largest sample value of the native pixel type
    double lineTime = 10e-6; // seconds to read one sensor row
    uint32_t rowAlign = 1;   // row pitch is rounded up to this many bytes
    uint32_t rowExtra = 0;   // bytes added to every row before the rounding
    uint32_t maxViews = 1;
    bool earlyTypeCodes = false;           // reports mono data as 1 and 2, as earlier devices did
    uint32_t queryCapabilities = 0;        // VelaQueryCapability group 1
    uint32_t legacyCapabilities = 0;       // VelaGetCapabilities
    uint32_t scanModes = 0;                // 0: the scan-mode requests are refused
    bool backPressure = true;              // a connected recorder's full ring holds up the sensor
    std::vector<PropertyModel> properties; // ascending id
    std::vector<FeatureModel> features;
    std::shared_ptr<const ReplayFile> replay; // set: the camera plays this recording

    const PropertyModel *Find(uint32_t id) const;
    const FeatureModel *Feature(uint32_t number) const;
};

using CameraSet = std::vector<std::shared_ptr<const CameraModel>>;

// Parses a camera-set text. On failure returns VELA_ERR_INVALIDPARAM (or, for a `replay` line
// whose file cannot be played, the code ReplayFile::Open gives) and describes the first bad
// line in error.
int32_t ParseCameraSet(const std::string &text, CameraSet &set, std::string &error);

// The set compiled into the library, in the same format.
const char *DefaultCameraSetText();

} // namespace velasim
