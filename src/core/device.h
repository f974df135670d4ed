// The binding to the camera device library: one table of function pointers, resolved once
// from the operation list. Every call site reads Device().VelaSetValue(...).
#pragma once

#include "velaapi/vela_api.h"

namespace qxcm {

struct DeviceApi {
#define VELA_OP(ordinal, name, ret, params, args) ret(*name) params;
#include "velaapi/vela_ops.inc"
#undef VELA_OP
};

// The resolved operations; valid after BindDevice() succeeded.
DeviceApi &Device();

// Loads the device library and resolves every operation, once per process. False when the
// library cannot be loaded or lacks an operation; then nothing is bound.
bool BindDevice();

// Forgets the binding so the next BindDevice() loads again; for tests that swap the loader.
void ResetDeviceBinding();

// The loaded module, for its version; null before a successful bind.
void *DeviceModule();

} // namespace qxcm
