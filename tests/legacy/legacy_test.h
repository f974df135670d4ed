// The older family's fixture: its initialiser and open on the simulated cameras (camera 2 is the
// older model), and the numbers the older calls give device properties.
#pragma once

#include <string>

#include "support/qx_test.h"

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
};

} // namespace legacytest
