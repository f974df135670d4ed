// Resolving the device library. Binding is all or nothing: a library that lacks a single
// operation is treated as missing, so no call site ever meets a null pointer.
#include "core/device.h"

#include "core/binding.h"

namespace qxcm {
namespace {

DeviceApi gDevice{};
void *gModule = nullptr;

} // namespace

DeviceApi &Device()
{
    return gDevice;
}

void *DeviceModule()
{
    return gModule;
}

void ResetDeviceBinding()
{
    gDevice = DeviceApi{};
    gModule = nullptr;
}

bool BindDevice()
{
    if (gModule)
        return true;
    void *module = Os().loadModule(Module::Device);
    if (!module)
        return false;
    DeviceApi api{};
    bool complete = true;
#define VELA_OP(ordinal, name, ret, params, args)                                                  \
    ResolveOperation(module, ordinal, #name, api.name, complete);
#include "velaapi/vela_ops.inc"
#undef VELA_OP
    if (!complete)
        return false; // the module stays loaded; a later attempt finds it lacking again
    gDevice = api;
    gModule = module;
    return true;
}

} // namespace qxcm
