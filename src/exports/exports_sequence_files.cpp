// Entry points of reading sequence files. None of them tests the API level or writes log
// lines, whatever its name; several names share one function.
#include "capture/sequence_files.h"
#include "exports/frame.h"

using namespace qxcm;

// A slot number that names an open file; otherwise fails with the code OpenSlot chose.
#define QX_REQUIRE_SLOT(s, slot, error, freeGivesResult)                                           \
    int32_t qxSlotCode = 0;                                                                        \
    SequenceFileSlot *s = OpenSlot(slot, &qxSlotCode, freeGivesResult);                            \
    if (!s)                                                                                        \
    QX_FAIL_CODE(qxSlotCode, error)

// The frame data variants: the slot, the host's pointers, then the copy.
static int32_t CopyFrameOfFile(uint32_t slot, int32_t index, void *destination, bool wantStamp,
                               double *stamp, uint32_t option, int32_t *error)
{
    QX_REQUIRE_SLOT(s, slot, error, true);
    if (!destination || (wantStamp && !stamp))
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error);
    if (int32_t code = CopyFileFrame(*s, index, option, destination, stamp))
        QX_FAIL_CODE(code, error);
    return 1;
}

extern "C" {

QXCM_API int32_t QXCM_OPENVLSEQFILE(uint32_t *slot, const char *path, int32_t *frameCount,
                                    int32_t *error)
{
    QX_REQUIRE_OUT(({slot, frameCount}), error);
    if (int32_t code = OpenSequenceFileSlot(path, slot, frameCount))
        QX_FAIL_CODE(code, error);
    return 1;
}
QXCM_API int32_t QXCM_OPENVLSEQFILE_40(uint32_t *slot, const char *path, int32_t *frameCount,
                                       int32_t *error) QX_ALIAS_OF(QXCM_OPENVLSEQFILE);

QXCM_API int32_t QXCM_OPENVLSEQFILE_A(uint32_t *slot, const char *path, int32_t *frameCount,
                                      void *text, int32_t *error)
{
    QX_REQUIRE_OUT(({slot, frameCount}), error);
    if (int32_t code = OpenSequenceFileSlot(path, slot, frameCount))
        QX_FAIL_CODE(code, error);
    // The buffer has no size: the host must hold the whole file-level text.
    if (text)
        ReadFileText(State().fileSlots[*slot], text);
    return 1;
}

QXCM_API int32_t QXCM_CLOSEVLSEQFILE(uint32_t slot, int32_t *error)
{
    QX_REQUIRE_SLOT(s, slot, error, false);
    if (int32_t code = CloseSequenceFile(*s))
        QX_FAIL_CODE(code, error);
    return 1;
}
QXCM_API int32_t QXCM_CLOSEVLSEQFILE_40(uint32_t slot, int32_t *error)
    QX_ALIAS_OF(QXCM_CLOSEVLSEQFILE);

QXCM_API int32_t QXCM_GETVLSEQFRAMEINFO(uint32_t slot, uint32_t frameIndex, uint32_t *width,
                                        uint32_t *height, int32_t *error)
{
    QX_REQUIRE_SLOT(s, slot, error, false);
    QX_REQUIRE_OUT(({width, height}), error);
    if (int32_t code = FileFrameSize(*s, static_cast<int32_t>(frameIndex), width, height))
        QX_FAIL_CODE(code, error);
    return 1;
}
QXCM_API int32_t QXCM_GETVLSEQFRAMEINFO_40(uint32_t slot, uint32_t frameIndex, uint32_t *width,
                                           uint32_t *height, int32_t *error)
    QX_ALIAS_OF(QXCM_GETVLSEQFRAMEINFO);

QXCM_API int32_t QXCM_GETVLSEQFRAMEDATA_40(uint32_t slot, int32_t frameIndex, void *destination,
                                           double *timeStamp, uint32_t option, int32_t *error)
{
    return CopyFrameOfFile(slot, frameIndex, destination, true, timeStamp, option, error);
}

QXCM_API int32_t QXCM_GETVLSEQFRAMEDATA_A(uint32_t slot, int32_t frameIndex, void *destination,
                                          double *timeStamp, int32_t *error)
{
    return CopyFrameOfFile(slot, frameIndex, destination, true, timeStamp, 0, error);
}

QXCM_API int32_t QXCM_GETVLSEQFRAMEDATA(uint32_t slot, uint32_t frameIndex, void *destination,
                                        int32_t *error)
{
    return CopyFrameOfFile(slot, static_cast<int32_t>(frameIndex), destination, false, nullptr, 0,
                           error);
}

QXCM_API int32_t QXCM_READMETADATA(uint32_t slot, int32_t level, uint32_t index, void *buffer,
                                   uint32_t size, int32_t *error)
{
    QX_REQUIRE_SLOT(s, slot, error, true);
    if (!buffer && size > 0)
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error);
    if (!ReadSequenceText(*s, level, index, buffer, size))
        QX_FAIL_CODE(s->slotResult, error);
    return 1;
}
QXCM_API int32_t QXCM_READMETADATA_40(uint32_t slot, int32_t level, uint32_t index, void *buffer,
                                      uint32_t size, int32_t *error) QX_ALIAS_OF(QXCM_READMETADATA);

QXCM_API int32_t QXCM_GETTIMESTAMP(uint32_t slot, int32_t frameIndex, double *timeStamp,
                                   int32_t *error)
{
    QX_REQUIRE_SLOT(s, slot, error, true);
    if (!timeStamp || !FileFrameStamp(*s, frameIndex, timeStamp))
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error);
    return 1;
}

// Does nothing and reports failure; kept so hosts that call it still link.
QXCM_API int32_t QXCM_GETVLSEQINFO(void)
{
    return 0;
}

} // extern "C"
