// The older family end to end. Its next-frame call hands out frames in order in snap mode
// (then the last one again) and the newest in sequence mode, so the frame numbers the frames
// carry show what the host received.
#include "legacy_demo.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "common/host_data_types.h"
#include "preview_png.h"
#include "qxcm/qxcm.h"

namespace {

constexpr uint32_t kInfoModel = 0x04000104;
constexpr int32_t kFunctionIdOffset = 17296; // property numbers are device ids plus this

bool Check(int32_t ok, const char *what, const int32_t &error)
{
    if (!ok) {
        char text[128] = "";
        QXCM_REPORTERROR(error, text);
        std::fprintf(stderr, "%s failed: %s (0x%08X)\n", what, text, static_cast<uint32_t>(error));
    }
    return ok != 0;
}

// The number of the property called `wanted`, found by walking the camera's properties.
int32_t FindProperty(uint32_t cam, const char *wanted)
{
    int32_t number = kFunctionIdOffset, err = 0;
    char name[64];
    for (int n = 0; n < 1024 && QXCM_GETNEXTPROPERTY(cam, name, &number, &err); ++n)
        if (std::strcmp(name, wanted) == 0)
            return number;
    return 0;
}

// Sets the exposure by name; a camera without the property takes it through parameter 7,
// which the older open backs with a substitute.
void SetExposure(uint32_t cam, double seconds)
{
    int32_t number = FindProperty(cam, "EXPOSURE TIME");
    if (number != 0)
        std::printf("property \"EXPOSURE TIME\" is number %d\n", number);
    else
        number = 7;
    int32_t err = 0;
    double now = 0.0;
    if (Check(QXCM_SETPARAMETER(cam, number, seconds, 0, &err), "setting the exposure", err) &&
        Check(QXCM_GETPARAMETER(cam, number, &now, 0, &err), "reading the exposure", err))
        std::printf("exposure time now %g s\n", now);
}

uint32_t FrameNumber(const std::vector<uint8_t> &frame)
{
    uint32_t n = 0;
    std::memcpy(&n, frame.data(), sizeof n);
    return n;
}

} // namespace

int RunLegacyDemo(const LegacyDemoOptions &o)
{
    uint32_t count = 0;
    char qxver[64] = "", velaver[64] = "";
    int32_t err = 0;
    if (!Check(QXCM_INITIALIZE_B(&count, qxver, velaver, 0, &err), "initialisation", err))
        return 1;
    std::printf("qxcm %s, device library %s (older calls)\n", qxver, velaver);
    for (uint32_t i = 0; i < count; ++i) {
        char model[64] = "?";
        QXCM_GETCAMERAINFO(i, kInfoModel, model, &err);
        std::printf("  camera %u: %s\n", i, model);
    }
    const uint32_t cam = o.camera;
    if (!Check(QXCM_OPENCAMERA_A(cam, 0, &err), "opening the camera", err)) {
        QXCM_DEINITIALIZE_A(1);
        return 1;
    }
    SetExposure(cam, o.exposure);

    uint32_t dataType = 99, width = 0, height = 0, bytesPerPixel = 0;
    if (!Check(QXCM_STARTCAPTURE_A(cam, o.snap ? 0 : 1, static_cast<uint32_t>(o.frames), &dataType,
                                   &width, &height, &err),
               "starting the capture", err) ||
        !Check(QXCM_GETFRAMESIZE_A(cam, &width, &height, &bytesPerPixel, &err),
               "reading the frame size", err)) {
        QXCM_DEINITIALIZE_A(1);
        return 1;
    }
    const bool colour = qxcm::HostIsColour(dataType);
    const uint32_t pixels = colour ? width / 3 : width;
    std::printf("%s capture of %d frames, %u x %u, data type %u, %u bytes per pixel\n",
                o.snap ? "snap" : "sequence", o.frames, pixels, height, dataType, bytesPerPixel);

    std::vector<uint8_t> frame(size_t(pixels) * height * (bytesPerPixel ? bytesPerPixel : 6));
    std::set<uint32_t> numbers;
    int32_t copied = 0;
    auto start = std::chrono::steady_clock::now();
    for (; copied < o.frames; ++copied) {
        if (!Check(QXCM_GETNEXTFRAME_A(cam, frame.data(), 0, &err), "copying the next frame", err))
            break;
        numbers.insert(FrameNumber(frame));
        std::printf("\rframes %5d  newest number %u ", copied + 1, FrameNumber(frame));
        std::fflush(stdout);
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("\n");

    // The 8-bit preview of one more frame: 16-bit data brought to the camera's data range.
    std::vector<uint8_t> preview(size_t(pixels) * height);
    bool previewWritten = false;
    if (colour)
        previewWritten = WritePreviewPng(o.preview, frame.data(), pixels, height, 3, 1, width);
    else if (Check(QXCM_GETNEXTFRAME_U8(cam, preview.data(), 0, &err), "the 8-bit preview", err))
        previewWritten = WritePreviewPng(o.preview, preview.data(), pixels, height, 1, 1, pixels);

    Check(QXCM_STOPCAPTURE(cam, &err), "stopping the capture", err);
    Check(QXCM_UNPREPARECAPTURE(cam, &err), "releasing the buffers", err);
    Check(QXCM_CLOSECAMERA(cam, &err), "closing the camera", err);
    QXCM_DEINITIALIZE();
    std::printf("summary: %d frames copied, %zu distinct frame numbers, %.1f frames per second\n",
                copied, numbers.size(), copied / (seconds > 0 ? seconds : 1));
    std::printf("preview: %s\n",
                previewWritten ? AbsolutePath(o.preview).c_str() : "(not written)");
    return copied == o.frames ? 0 : 1;
}
