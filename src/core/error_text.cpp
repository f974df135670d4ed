#include "core/error_text.h"

namespace qxcm {
namespace {

struct ErrorTextRow {
    uint32_t code;
    const char *text;
};

constexpr ErrorTextRow kErrorTexts[] = {
#define QX_ERROR_TEXT(code, text) {code, text},
#include "core/error_texts.inc"
#undef QX_ERROR_TEXT
};

} // namespace

const char *ErrorText(int32_t code)
{
    for (const ErrorTextRow &row : kErrorTexts)
        if (row.code == static_cast<uint32_t>(code))
            return row.text;
    return "QXERR_UNKNOWNERROR - An unknown error has occurred";
}

} // namespace qxcm
