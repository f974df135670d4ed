// Every error text the library reports, written out here rather than taken from the table it
// checks, and the gaps between the codes.
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
        // clang-format off
        {0x00000000, "QXERR_NONE - No error"},
        {0x80000101, "QXERR_BUSY - The device is busy"},
        {0x80000102, "QXERR_ABORT - The capture has been aborted"},
        {0x80000103, "QXERR_NOTREADY - The device is not ready for capture"},
        {0x80000104, "QXERR_NOTSTABLE - The device settings are not stable"},
        {0x80000105, "QXERR_UNSTABLE - The device is unstable"},
        {0x80000106, "QXERR_TIMEOUT - The capture has timed out"},
        {0x80000107, "QXERR_NOTBUSY - The device is not capturing data"},
        {0x80000201, "QXERR_NORESOURCE - The system does not have enough resources"},
        {0x80000203, "QXERR_NOMEMORY - The system does not have enough memory"},
        {0x80000204, "QXERR_NOMODULE - No VELA Modules were found or enabled"},
        {0x80000206, "QXERR_NOCAMERA - No compatible cameras have been found"},
        {0x80000301, "QXERR_LOSTFRAME - The captured frame has been lost"},
        {0x80000302, "QXERR_COOLINGTROUBLE - The device cooler has failed"},
        {0x80000303, "QXERR_NOTRIGGER - The device did not receive a required trigger"},
        {0x80000304, "QXERR_TEMPERATURETROUBLE - The device may be overheating"},
        {0x80000806, "QXERR_INVALIDCAMERA - The connected camera is not valid"},
        {0x80000807, "QXERR_INVALIDHANDLE - The camera handle is not valid"},
        {0x80000808, "QXERR_INVALIDPARAM - The selected parameter ID is not valid for this device"},
        {0x80000821, "QXERR_INVALIDVALUE - The selected value is not valid for this function"},
        {0x80000822, "QXERR_OUTOFRANGE - The selected value is not valid for this function"},
        {0x80000823, "QXERR_NOTWRITABLE - The selected function is not writable"},
        {0x80000824, "QXERR_NOTREADABLE - The selected function is not readable"},
        {0x80000825, "QXERR_INVALIDPROPERTYID - The selected property ID is not valid for this device"},
        {0x80000829, "QXERR_INVALIDCHANNEL - The selected channel index is not valid"},
        {0x8000082A, "QXERR_INVALIDVIEW - The selected view index is not valid"},
        {0x8000082B, "QXERR_INVALIDSUBARRAY - The selected subarray setting is not valid"},
        {0x8000082C, "QXERR_ACCESSDENY - This function is not accessible at the current state"},
        {0x80000F02, "QXERR_NOTIMPLEMENT - The selected function has not been implemented in the driver"},
        {0x80000F03, "QXERR_NOTSUPPORT - The selected function is not supported in the device"},
        {0x84001001, "QXERR_FAILEDTOOPENVLSEQ - Failed to open VLSEQ file"},
        {0x84001002, "QXERR_INVALIDRECHANDLE - The VLSEQ handle is not valid"},
        {0x84001003, "QXERR_FAILEDWRITEDATA - A failure occurred while writing data"},
        {0x84001004, "QXERR_FAILEDREADDATA - A failure occurred while reading data"},
        {0x84001005, "QXERR_NOWRECORDING - A VLSEQ file is now recording"},
        {0x84001008, "QXERR_TOOLARGEUSERDATASIZE - Not enough resources for the requested number of frames"},
        {0x84000103, "QXERR_INVALIDMEMBER - The selected function has not been implemented in the driver"},
        {0x84000105, "QXERR_INVALIDMEMBER - The selected function has not been implemented in the driver"},
        {0x84000107, "QXERR_INVALIDMEMBER - The selected function has not been implemented in the driver"},
        {0x84000108, "QXERR_INVALIDMEMBER - The selected function has not been implemented in the driver"},
        {0x84000109, "QXERR_INVALIDMEMBER - The selected function has not been implemented in the driver"},
        // clang-format on
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
