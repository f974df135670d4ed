// The sensor area: the sub-array rectangle with its limits, the two rectangles of a sensor split
// into two views, and lists of readout regions. Both exported families use these operations;
// each answers true or false with the cause of a failure left in the camera's lastResult.
#pragma once

#include <cstdint>
#include <optional>

#include "core/library_state.h"

namespace qxcm {

// A rectangle in sensor pixels.
struct SubarrayRect {
    int32_t hpos = 0, vpos = 0, hsize = 0, vsize = 0;
};

// One coordinate of an area with its range: value, minimum, maximum, step.
struct AreaRange {
    int32_t value = 0, minimum = 0, maximum = 0, step = 0;
};

// What QXCM_GETAREA_40 reports, in its order.
struct AreaReport {
    AreaRange hpos, vpos, hsize, vsize;
};

// The two views of the split-sensor layout: one size, one offset pair per view.
struct PairedArea {
    int32_t hpos1 = 0, vpos1 = 0, hpos2 = 0, vpos2 = 0, hsize = 0, vsize = 0;
};

// What QXCM_GETAREA_PAIRED_40 reports: the offsets per view, the shared ranges.
struct PairedAreaReport {
    PairedArea area;
    AreaRange hpos, vpos, hsize, vsize; // the value fields stay 0
};

// Switches the sub-array on and writes the rectangle (offsets cleared first, so the new sizes
// always fit, then sizes, then offsets). Each value is aligned down to its property's step;
// the arguments are 64-bit so the older family's unsigned values pass unchanged. Refreshes the
// context's frame size.
bool ApplySubarray(CameraContext &c, int64_t hpos, int64_t vpos, int64_t hsize, int64_t vsize);

// The current rectangle from the device; refreshes the context's frame size.
bool ReadSubarray(CameraContext &c, SubarrayRect &out);

// The rectangle with its limits and steps at the current binning.
bool ReadArea(CameraContext &c, AreaReport &out);

// The host's variables of an area report, in the order of QXCM_GETAREA_40: value, minimum,
// maximum and step of hpos, vpos, hsize and vsize. The older family's unsigned variables take
// the same bits. Written only when every value was read.
bool ReportArea(CameraContext &c, int32_t *const (&outputs)[16]);
bool ReportArea(CameraContext &c, uint32_t *const (&outputs)[16]);
// hpos, vpos, hsize and vsize of the current rectangle; written only when it was read.
bool ReportSubarray(CameraContext &c, uint32_t *const (&outputs)[4]);

// The two-view rectangles; both fail unless the sensor is in its two-view layout.
bool ApplyPairedArea(CameraContext &c, const PairedArea &area);
// With a binning, the units are asked for at that binning instead of the device's current one.
bool ReadPairedArea(CameraContext &c, PairedAreaReport &out,
                    std::optional<uint32_t> binning = std::nullopt);
// The host's variables of a two-view report, in the order of QXCM_GETAREA_PAIRED_40: hpos1,
// hpos2, then minimum, maximum and step of hpos; the same for vpos; hsize and vsize each with
// minimum, maximum and step. Written only when every value was read.
bool ReportPairedArea(CameraContext &c, int32_t *const (&outputs)[18],
                      std::optional<uint32_t> binning = std::nullopt);

// Whether a host region list (left, top, width, height per region) can be handed to the
// device: a non-null array, 1 or more regions whose entries fit 32-bit sizes, each region
// non-empty with non-negative corners whose right and bottom edges fit 16 bits.
bool RegionListIsValid(const int32_t *regions, int32_t count);

// Hands a valid region list to the device and switches region readout on. Fails with
// lastResult untouched when the camera takes no region lists, and with QXERR_NOMEMORY in
// lastResult when the entry array cannot be allocated.
bool ApplyRegionList(CameraContext &c, const int32_t *regions, int32_t count);

} // namespace qxcm
