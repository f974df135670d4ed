#include "settings_support.h"

#include <cstring>

#include "core/device.h"
#include "velaapi/vela_sim.h"

namespace qxtest {

namespace {

int32_t RowPitch(uint32_t i)
{
    VelaFrameRecord r{};
    r.size = sizeof r;
    qxcm::Device().VelaLockFrame(qxcm::State().contexts[i].deviceHandle, &r);
    return r.rowBytes;
}

} // namespace

void SettingsTest::SetUp()
{
    LibraryTest::SetUp();
    VelaSim_SetManualClock(1);
    InitWithLog();
}

std::pair<Image, Image> SettingsTest::Capture(uint32_t i, bool split)
{
    Image a;
    Prepare(i, 1, 5);
    StartWithFrames(i, 1);
    a.width = Context(i).frameWidth;
    a.height = Context(i).frameHeight;
    a.pitch = static_cast<uint32_t>(RowPitch(i) / 2);
    a.pixels.assign(size_t(a.pitch) * a.height, 0xEEEE);
    Image b = a;
    double stamp = 0;
    int32_t err = 0;
    EXPECT_EQ(split
                  ? QXCM_GETFRAME_SPLIT_40(i, 0, a.pixels.data(), b.pixels.data(), &stamp, 0, &err)
                  : QXCM_GETFRAME_40(i, 0, a.pixels.data(), &stamp, 0, &err),
              1)
        << err;
    EXPECT_EQ(QXCM_STOPCAPTURE_40(i, &err), 1);
    EXPECT_EQ(QXCM_UNPREPARECAPTURE_40(i, &err), 1);
    return {a, b};
}

} // namespace qxtest
