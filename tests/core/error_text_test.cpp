// Every row of the error text table and the gaps between rows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qxcm/qxcm.h"

namespace {

std::string TextOf(uint32_t code)
{
    char text[128];
    EXPECT_EQ(QXCM_REPORTERROR(static_cast<int32_t>(code), text), 0);
    return text;
}

const char *const kUnknown = "QXERR_UNKNOWNERROR - An unknown error has occurred";

TEST(ErrorText, EveryListedCodeHasItsExactText)
{
    struct Row {
        uint32_t code;
        const char *text;
    } rows[] = {
#define QX_ERROR_TEXT(code, text) {code, text},
#include "core/error_texts.inc"
#undef QX_ERROR_TEXT
    };
    EXPECT_EQ(sizeof rows / sizeof rows[0], 41u);
    for (const Row &row : rows)
        EXPECT_EQ(TextOf(row.code), row.text) << std::hex << row.code;
}

TEST(ErrorText, GapsAndOwnCodesGiveTheUnknownText)
{
    const uint32_t gaps[] = {0x80000F01, 0x84000104, 0x84000106, 0x84001006, 0x84001007,
                             0xFFFFFFFF, 0x90000101, 0x82001001, 0x80000826, 0x80000828,
                             0x00000001, 0x80000100, 0x08000807};
    for (uint32_t code : gaps)
        EXPECT_EQ(TextOf(code), kUnknown) << std::hex << code;
    for (uint32_t code = 0x80000809; code <= 0x80000820; ++code)
        EXPECT_EQ(TextOf(code), kUnknown) << std::hex << code;
}

TEST(ErrorText, WritesOnlyTheTextAndNothingForANullBuffer)
{
    char text[128];
    memset(text, 'x', sizeof text);
    QXCM_REPORTERROR(0, text);
    EXPECT_EQ(text[sizeof "QXERR_NONE - No error"], 'x');
    EXPECT_EQ(QXCM_REPORTERROR(0, nullptr), 0);
}

} // namespace
