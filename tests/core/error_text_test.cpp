// Error texts, written out here rather than taken from the table they check, and the gaps
// between the codes.
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

// The ends of each block of codes, and codes that share a text: the whole table is data, so a
// lookup fault shows at its ends and at its repeats.
TEST(ErrorText, CodesAtTheEndsOfEachBlockHaveTheirExactText)
{
    struct Row {
        uint32_t code;
        const char *text;
    } rows[] = {
        // clang-format off
        {0x00000000, "QXERR_NONE - No error"},
        {0x80000101, "QXERR_BUSY - The device is busy"},
        {0x80000808, "QXERR_INVALIDPARAM - The selected parameter ID is not valid for this device"},
        {0x84001008, "QXERR_TOOLARGEUSERDATASIZE - Not enough resources for the requested number of frames"},
        {0x84000103, "QXERR_INVALIDMEMBER - The selected function has not been implemented in the driver"},
        {0x84000109, "QXERR_INVALIDMEMBER - The selected function has not been implemented in the driver"},
        // clang-format on
    };
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
