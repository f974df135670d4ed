// The one way the library resolves the operations of a library it loads at run time: by ordinal
// on Windows and by name elsewhere, as the platform seam decides. A binder keeps its table only
// when every operation resolved, so no call site meets a null pointer.
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
