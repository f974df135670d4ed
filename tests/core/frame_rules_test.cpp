// The frame rules, checked for every export of the export list: the API-level test, the entry
// line and its place, the camera-index test and what each writes to the error and the log.
// A new export is covered as soon as its row is added.
#include <algorithm>
#include <cstring>
#include <string>

#include "support/qx_test.h"
#include "velaapi/vela_sim.h"

namespace {

enum FrameKind { OWN, CAMERA, OPENCLOSE, INFO, SILENT, LEGACY, LEGACYOPEN, UNSUPPORTED, FILESLOT };

// Stands for any pointer argument: a zeroed scratch block large enough for every out-value.
struct AnyPointer {
    alignas(16) unsigned char *block;
    template <class T> operator T *() const { return reinterpret_cast<T *>(block); }
};

// Stands for any number argument: zero.
struct AnyNumber {
    template <class T> operator T() const { return T(0); }
};

struct ProbeArgs {
    uint32_t index = 0;
    AnyPointer pointer{};
    AnyNumber number{};
    int32_t *error = nullptr;
};

struct ExportRow {
    const char *name;
    FrameKind frame;
    const char *logName;
    int32_t (*call)(ProbeArgs &p);
};

#define IDX p.index
#define PTR p.pointer
#define NUM p.number
#define ERR p.error
const ExportRow kExports[] = {
#define QX_EXPORT(ordinal, name, frame, logName, probe)                                            \
    {#name, frame, logName, []([[maybe_unused]] ProbeArgs &p) -> int32_t { return name probe; }},
#define QX_ALIAS(ordinal, name, target)
#include "exports/export_list.inc"
#undef QX_EXPORT
#undef QX_ALIAS
};
#undef IDX
#undef PTR
#undef NUM
#undef ERR

std::vector<ExportRow> Framed(std::initializer_list<FrameKind> kinds = {})
{
    std::vector<ExportRow> rows;
    for (const ExportRow &row : kExports)
        if (kinds.size() ? std::find(kinds.begin(), kinds.end(), row.frame) != kinds.end()
                         : row.frame != OWN)
            rows.push_back(row);
    return rows;
}

class FrameRules : public qxtest::LibraryTest, public ::testing::WithParamInterface<ExportRow> {
  protected:
    int32_t Call(uint32_t index, int32_t *error, bool nullPointers = false)
    {
        static unsigned char scratch[1 << 16];
        memset(scratch, 0, sizeof scratch);
        ProbeArgs p;
        p.index = index;
        p.pointer.block = nullPointers ? nullptr : scratch;
        p.error = error;
        return GetParam().call(p);
    }
    std::string Entry() const { return std::string("0.000 ") + GetParam().logName + " -> "; }
};

TEST_P(FrameRules, BelowApiLevel40FailsBeforeAnythingElse)
{
    InitWithLog();
    qxcm::State().apiLevel = 30;
    size_t before = LogLines().size();
    int32_t err = 0;
    // The older family's open works at either level; every other export fails here.
    EXPECT_EQ(Call(0, &err), GetParam().frame == LEGACYOPEN ? 1 : 0);
    std::vector<std::string> lines = LogLines();
    switch (GetParam().frame) {
    case OPENCLOSE:
    case INFO:
        EXPECT_EQ(err, GetParam().frame == INFO ? QXERR_API_LEVEL : QXERR_API_LEVEL_OPEN);
        ASSERT_EQ(lines.size(), before + 1);
        EXPECT_EQ(lines.back().rfind(Entry(), 0), 0u) << lines.back();
        break;
    case LEGACY:
    case LEGACYOPEN:
    case UNSUPPORTED:
    case FILESLOT:
        EXPECT_NE(err, QXERR_API_LEVEL) << "no API-level test";
        EXPECT_EQ(lines.size(), before);
        break;
    default:
        EXPECT_EQ(err, QXERR_API_LEVEL);
        EXPECT_EQ(lines.size(), before);
    }
}

TEST_P(FrameRules, UnknownCameraFailsWithInvalidHandle)
{
    InitWithLog();
    size_t before = LogLines().size();
    int32_t err = 0;
    EXPECT_EQ(Call(99, &err), 0);
    std::vector<std::string> lines = LogLines();
    const ExportRow &row = GetParam();
    bool opens =
        (row.frame == OPENCLOSE && std::string(row.name).find("OPEN") != std::string::npos) ||
        row.frame == LEGACYOPEN;
    EXPECT_EQ(err, opens                      ? QXERR_OPEN_FAILED
                   : row.frame == UNSUPPORTED ? QXERR_NOTSUPPORT
                                              : QXERR_INVALIDHANDLE);
    if (row.frame == SILENT || row.frame == LEGACY || row.frame == LEGACYOPEN ||
        row.frame == UNSUPPORTED || row.frame == FILESLOT) {
        EXPECT_EQ(lines.size(), before);
        return;
    }
    ASSERT_GE(lines.size(), before + 1);
    EXPECT_EQ(lines[before].rfind(Entry(), 0), 0u) << lines[before];
    if (row.frame == OPENCLOSE)
        EXPECT_EQ(lines.back(),
                  std::string("0.000 ") + row.logName + " NG ERR=" + std::to_string(err) + " \n");
    else
        EXPECT_EQ(lines.size(), before + 1) << "no result line after the index test";
}

TEST_P(FrameRules, ANullErrorPointerIsNeverWritten)
{
    EXPECT_EQ(Call(0, nullptr), 0);
    InitWithLog();
    EXPECT_EQ(Call(99, nullptr), 0);
}

// Every pointer null on a camera that is capturing with a frame ready: an export either answers
// without reading them or refuses with QXERR_INVALIDPARAM before any device call.
class NullPointers : public FrameRules {};

TEST_P(NullPointers, AreRefusedBeforeAnyDeviceCall)
{
    VelaSim_SetManualClock(1);
    InitWithLog();
    OpenCamera(0);
    Prepare(0, 1, 5);
    StartWithFrames(0, 1);
    ClearJournal();
    int32_t err = 0;
    if (Call(0, &err, true) == 0 && err == QXERR_INVALIDPARAM) {
        EXPECT_TRUE(Journal().empty()) << Journal().front();
    }
}

std::string RowName(const ::testing::TestParamInfo<ExportRow> &info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(EveryExport, FrameRules, ::testing::ValuesIn(Framed()), RowName);
INSTANTIATE_TEST_SUITE_P(CameraExports, NullPointers,
                         ::testing::ValuesIn(Framed({CAMERA, SILENT, LEGACY})), RowName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FrameRules);

} // namespace
