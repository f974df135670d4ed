// The older capture tests' fixture: the manual clock, the one-step start and the frame number
// of the next frame the older wait hands out.
#pragma once

#include <vector>

#include "settings/properties.h"
#include "support/qx_test.h"
#include "velaapi/vela_sim.h"

namespace legacytest {

class LegacyFrames : public qxtest::LibraryTest {
  protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        VelaSim_SetManualClock(1);
        InitWithLog();
    }
    // Starts camera i (opening it first if need be) through the one-step start.
    void Start(uint32_t i, uint32_t mode, uint32_t frames, int32_t delivered = 0)
    {
        int32_t err = 0;
        if (!qxcm::IsCameraOpen(i))
            OpenCamera(i);
        ASSERT_EQ(QXCM_STARTCAPTURE_A(i, mode, frames, &type, &width, &height, &err), 1) << err;
        ASSERT_EQ(VelaSim_DeliverFrames(int32_t(i), delivered), delivered);
    }
    // The frame number of the next frame the older wait hands out.
    uint32_t NextFrameNumber(uint32_t i)
    {
        std::vector<uint8_t> frame(size_t(width) * height * 6);
        int32_t err = 0;
        EXPECT_EQ(QXCM_GETNEXTFRAME_A(i, frame.data(), 100, &err), 1) << err;
        return qxtest::FrameNumber(frame.data());
    }
    uint32_t type = 99, width = 0, height = 0;
};

} // namespace legacytest
