// Bounded text copy into caller buffers: always terminated, never past capacity.
#pragma once

#include <stdint.h>
#include <string.h>

#include <string>

namespace velasim {

inline void CopyText(const std::string &text, char *out, int32_t capacity)
{
    if (out == nullptr || capacity <= 0)
        return;
    size_t n = text.size() < static_cast<size_t>(capacity) - 1 ? text.size()
                                                               : static_cast<size_t>(capacity) - 1;
    memcpy(out, text.data(), n);
    out[n] = '\0';
}

} // namespace velasim
