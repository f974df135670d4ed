// Error texts of the codes the library reports.
#pragma once

#include <cstdint>

namespace qxcm {

// The fixed English text of a code; unknown codes give the QXERR_UNKNOWNERROR text.
const char *ErrorText(int32_t code);

} // namespace qxcm
