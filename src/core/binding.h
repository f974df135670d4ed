// Binding a run-time loaded library: every operation of its table resolved, or none.
#pragma once

#include "core/platform.h"

namespace qxcm {

// Resolves one operation of `module` into `slot`; clears `complete` when it is missing.
template <class Function>
void ResolveOperation(void *module, int ordinal, const char *name, Function &slot, bool &complete)
{
    slot = reinterpret_cast<Function>(Os().resolve(module, ordinal, name));
    complete = complete && slot != nullptr;
}

} // namespace qxcm
