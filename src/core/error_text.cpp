// The error texts, looked up by exact code.
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

// The host's buffer holds 128 characters and the text is copied whole, terminator included.
#define QX_ERROR_TEXT(code, text) static_assert(sizeof(text) <= 128, text);
#include "core/error_texts.inc"
#undef QX_ERROR_TEXT
constexpr char kUnknownText[] = "QXERR_UNKNOWNERROR - An unknown error has occurred";
static_assert(sizeof kUnknownText <= 128);

} // namespace

const char *ErrorText(int32_t code)
{
    for (const ErrorTextRow &row : kErrorTexts)
        if (row.code == static_cast<uint32_t>(code))
            return row.text;
    return kUnknownText;
}

} // namespace qxcm
