// The older family's test fixture: initialise with the older call, open a camera, and read
// the records and device values the older calls leave behind.
#pragma once

#include "core/call_log.h"
#include "core/platform.h"
#include "support/qx_test.h"
#include "velaapi/vela_api.h"
#include "velaapi/vela_sim.h"

namespace legacytest {

// Device property ids are offered to the older calls as the id plus this offset.
constexpr int32_t kOffset = 17296;

class Legacy : public qxtest::LibraryTest {
  protected:
    void InitLegacy()
    {
        uint32_t count = 0;
        int32_t err = 0;
        ASSERT_EQ(QXCM_INITIALIZE_A(&count, 0, &err), 1) << err;
    }
    void OpenLegacy(uint32_t i)
    {
        ASSERT_EQ(QXCM_OPENCAMERA(i), 1);
        ClearJournal();
    }
    const qxcm::PropertyRecord *RecordOf(uint32_t i, int32_t parameter)
    {
        int32_t r = Context(i).parameterMap[parameter];
        return r < 0 ? nullptr : &Context(i).properties[r];
    }
    size_t Count(const std::string &op) { return JournalOf(op).size(); }
    void Open(uint32_t i)
    {
        InitLegacy();
        OpenLegacy(i);
    }
    double DeviceValue(uint32_t camera, uint32_t id)
    {
        double v = -1;
        VelaSim_GetProperty(static_cast<int32_t>(camera), id, &v);
        return v;
    }
};

} // namespace legacytest
