// What the host asks about its parameters: their values, limits, list texts and the
// enumeration of the records. Each writes the host's variables only when it succeeds; a false
// return leaves the code in lastResult.
#pragma once

#include <cstdint>

#include "core/library_state.h"

namespace qxcm {

// Reads the value of `record` for `view` into *value.
bool GetParameterValue(CameraContext &c, int32_t record, int32_t view, double *value);

// The record after number `passed` (-1 for the first): its name (at most 63 characters), number
// and function id. Any number without a record after it ends the enumeration: false, with the
// camera's lastResult as it was.
bool NextParameter(const CameraContext &c, int32_t passed, char *name, int32_t *functionNumber,
                   int32_t *functionId);

// The limits of `record`, refreshed from the device first. With `views` (null for the variant
// without it) also the number of views a per-view property has; 1 for a common property.
bool GetParameterLimits(CameraContext &c, int32_t record, int32_t *isList, double *maxValue,
                        double *minValue, double *step, double *defaultValue, int32_t *writable,
                        int32_t *views);

// The list text of `value` (at most 31 characters; the last entry that matches decides) and the
// value of the next entry (0.0 after the last). False, with lastResult as it was, when no entry
// matches or a pointer is null.
bool ParameterListText(const CameraContext &c, int32_t record, double value, char *text,
                       double *nextValue);
// The same text alone.
bool ValueListText(const CameraContext &c, int32_t record, double value, char *text);

} // namespace qxcm
