// The main job on a camera: initialise with the call log on, list the cameras, open one and
// show its parameters, capture frames with a live progress line, write a PNG preview of the
// last frame and summarise. Optionally on a sub-array, and as a self-test with the camera's
// test pattern, where every copied frame must equal the expected image. Uses nothing but the
// public header and the header-only data-type table beside the library's interfaces.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/host_data_types.h"
#include "legacy_demo.h"
#include "pattern_check.h"
#include "preview_png.h"
#include "qxcm/qxcm.h"
#include "replay_option.h"

namespace {

struct Options {
    uint32_t camera = 0;
    int32_t frames = 300;
    double exposure = 0.005;
    bool snap = false;
    bool listParameters = true;
    std::string preview = "qxcm-preview.png";
    std::string recording = "qxcm-demo.vlseq";
    bool record = true;
    int32_t recordFrames = 60; // 8 MiB a frame: the recording stays small enough for any disk
    bool area = false;
    int32_t areaX = 0, areaY = 0, areaWidth = 0, areaHeight = 0;
    bool testPattern = false;
    bool legacy = false;
    std::string replay; // a recording played as camera 0
    bool recordAsked = false;
};

void Usage()
{
    std::printf(
        "usage: qxcm-demo [--camera N] [--frames N] [--exposure SECONDS] [--snap]\n"
        "                 [--preview FILE.png] [--record FILE.vlseq] [--record-frames N]\n"
        "                 [--no-record] [--quiet] [--area X,Y,W,H] [--test-pattern]\n"
        "                 [--replay FILE.vlseq]\n"
        "       qxcm-demo --legacy [--camera N] [--frames N] [--exposure SECONDS] [--snap]\n"
        "                 [--preview FILE.png]\n");
}

bool ParseOptions(int argc, char **argv, Options &o)
{
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        const char *value = k + 1 < argc ? argv[k + 1] : nullptr;
        if (a == "--snap") {
            o.snap = true;
        } else if (a == "--no-record") {
            o.record = false;
        } else if (value && a == "--record") {
            o.recording = value;
            o.recordAsked = true;
            ++k;
        } else if (value && a == "--replay") {
            o.replay = value;
            ++k;
        } else if (value && a == "--record-frames") {
            o.recordFrames = static_cast<int32_t>(std::strtol(value, nullptr, 10));
            ++k;
        } else if (value && a == "--area") {
            char end = 0;
            o.area = std::sscanf(value, "%d,%d,%d,%d%c", &o.areaX, &o.areaY, &o.areaWidth,
                                 &o.areaHeight, &end) == 4;
            if (!o.area)
                return false;
            ++k;
        } else if (a == "--test-pattern") {
            o.testPattern = true;
        } else if (a == "--legacy") {
            o.legacy = true;
        } else if (a == "--quiet") {
            o.listParameters = false;
        } else if (value && a == "--camera") {
            o.camera = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
            ++k;
        } else if (value && a == "--frames") {
            o.frames = static_cast<int32_t>(std::strtol(value, nullptr, 10));
            ++k;
        } else if (value && a == "--exposure") {
            o.exposure = std::strtod(value, nullptr);
            ++k;
        } else if (value && a == "--preview") {
            o.preview = value;
            ++k;
        } else {
            return false;
        }
    }
    return o.frames > 0 && o.exposure > 0.0 && o.recordFrames > 0;
}

std::string ErrorText(int32_t code)
{
    char text[128];
    QXCM_REPORTERROR(code, text);
    return text;
}

// The error is taken by reference: it is read after the call that is checked has run.
bool Check(int32_t ok, const char *what, const int32_t &error)
{
    if (!ok)
        std::fprintf(stderr, "%s failed: %s (0x%08X)\n", what, ErrorText(error).c_str(),
                     static_cast<uint32_t>(error));
    return ok != 0;
}

void ListCameras(uint32_t count)
{
    std::printf("%u camera(s):\n", count);
    for (uint32_t i = 0; i < count; ++i) {
        char model[64] = "?", serial[64] = "?";
        int32_t err = 0;
        QXCM_GETCAMERAINFO_40(i, QXCM_INFO_MODEL, model, &err);
        QXCM_GETCAMERAINFO_40(i, QXCM_INFO_SERIAL, serial, &err);
        std::printf("  camera %u: %s, serial %s\n", i, model, serial);
    }
}

// The texts of a list parameter, walked through the next value the library reports.
std::string ValueTexts(uint32_t camera, int32_t id, double first)
{
    std::string texts;
    double value = first;
    for (int n = 0; n < 64; ++n) {
        char text[32];
        double next = 0.0;
        int32_t err = 0;
        if (!QXCM_GETPARAMETERTEXT_40(camera, id, text, value, &next, &err))
            break;
        texts += (texts.empty() ? "" : ", ") + std::string(text);
        if (next == 0.0 || next <= value)
            break;
        value = next;
    }
    return texts;
}

void ListParameters(uint32_t camera)
{
    std::printf("parameters of camera %u:\n", camera);
    int32_t number = -1, id = 0, err = 0;
    char name[64];
    while (QXCM_GETNEXTPARAMETER_40(camera, name, &number, &id, 0, &err)) {
        int32_t isList = 0, writable = 0, views = 0;
        double maxValue = 0, minValue = 0, step = 0, defaultValue = 0;
        if (!QXCM_GETPARAMETERLIMITS_41(camera, id, &isList, &maxValue, &minValue, &step,
                                        &defaultValue, &writable, &views, &err))
            continue;
        std::printf("  %-28s %s %s views %d  [%g .. %g] step %g default %g", name,
                    writable ? "rw" : "ro", isList ? "list" : "    ", views, minValue, maxValue,
                    step, defaultValue);
        if (isList)
            std::printf("  {%s}", ValueTexts(camera, id, minValue).c_str());
        std::printf("\n");
    }
}

uint64_t Checksum(const uint8_t *bytes, size_t n)
{
    uint64_t h = 1469598103934665603ull;
    for (size_t k = 0; k < n; k += 64) // every 64th byte plus the frame number pixels
        h = (h ^ bytes[k]) * 1099511628211ull;
    for (size_t k = 0; k < 16 && k < n; ++k)
        h = (h ^ bytes[k]) * 1099511628211ull;
    return h;
}

struct CaptureResult {
    int32_t copied = 0;
    int32_t skipped = 0;
    double seconds = 0.0;
    double lastStamp = 0.0;
};

// Opens the recorder before the capture starts and stores the file and group texts.
bool StartRecording(uint32_t cam, const Options &o)
{
    int32_t err = 0;
    // The recorder keeps the first frames up to its maximum and drops the rest.
    int32_t maxFrames = o.recordFrames < o.frames ? o.recordFrames : o.frames;
    if (!Check(QXCM_STARTRECORDER_41(cam, o.recording.c_str(), maxFrames, 1, &err),
               "starting the recorder", err))
        return false;
    std::string fileText = "qxcm-demo recording of camera " + std::to_string(cam);
    std::string groupText = std::string(o.snap ? "snap" : "sequence") + " capture, exposure " +
                            std::to_string(o.exposure) + " s";
    return Check(QXCM_WRITEMETADATA_40(cam, 0, 0, fileText.data(),
                                       static_cast<uint32_t>(fileText.size()), &err),
                 "writing the file text", err) &&
           Check(QXCM_WRITEMETADATA_40(cam, 1, 0, groupText.data(),
                                       static_cast<uint32_t>(groupText.size()), &err),
                 "writing the group text", err);
}

// Opens the recording through the library and compares every frame with what was copied.
bool CheckRecording(const Options &o, const std::vector<uint64_t> &checksums,
                    const std::vector<bool> &copied, size_t frameBytes)
{
    uint32_t slot = 0;
    int32_t frames = 0, err = 0;
    std::vector<char> fileText(1 << 20, '\0');
    if (!Check(QXCM_OPENVLSEQFILE_A(&slot, o.recording.c_str(), &frames, fileText.data(), &err),
               "opening the recording", err))
        return false;
    uint32_t width = 0, height = 0;
    QXCM_GETVLSEQFRAMEINFO(slot, 0, &width, &height, &err);
    std::vector<uint8_t> frame(frameBytes);
    int32_t same = 0, differ = 0, unchecked = 0;
    double lastStamp = 0.0;
    for (int32_t k = 0; k < frames; ++k) {
        if (!Check(QXCM_GETVLSEQFRAMEDATA_40(slot, k, frame.data(), &lastStamp, 0, &err),
                   "reading a recorded frame", err))
            return false;
        size_t n = static_cast<size_t>(k);
        if (n >= copied.size() || !copied[n])
            ++unchecked;
        else if (Checksum(frame.data(), frameBytes / 2) == checksums[n])
            ++same;
        else
            ++differ;
    }
    char group[256] = "", frameZero[256] = "";
    QXCM_READMETADATA(slot, 1, 0, group, sizeof group - 1, &err);
    QXCM_READMETADATA(slot, 2, 0, frameZero, sizeof frameZero - 1, &err);
    QXCM_CLOSEVLSEQFILE(slot, &err);
    std::printf("recording: %s, %d frames of %u x %u, %.6f s\n", AbsolutePath(o.recording).c_str(),
                frames, width, height, lastStamp);
    std::printf("  file text: %s\n  group 0: %s\n  frame 0: %s\n", fileText.data(), group,
                frameZero);
    std::printf("  frames equal to the copies made during capture: %d, different: %d, not "
                "copied during capture: %d\n",
                same, differ, unchecked);
    return differ == 0 && frames > 0;
}

// Restricts the capture to the sub-array and shows what the camera made of it.
bool SetArea(uint32_t cam, const Options &o)
{
    int32_t err = 0;
    if (!Check(QXCM_SETAREA_40(cam, o.areaX, o.areaY, o.areaWidth, o.areaHeight, &err),
               "setting the area", err))
        return false;
    int32_t v[16];
    if (Check(QXCM_GETAREA_40(cam, v, v + 1, v + 2, v + 3, v + 4, v + 5, v + 6, v + 7, v + 8, v + 9,
                              v + 10, v + 11, v + 12, v + 13, v + 14, v + 15, &err),
              "reading the area", err))
        std::printf("area: %d,%d %d x %d (steps %d, %d, %d, %d; widths %d..%d, heights %d..%d)\n",
                    v[0], v[4], v[8], v[12], v[3], v[7], v[11], v[15], v[9], v[10], v[13], v[14]);
    return true;
}

// The row pitch of the prepared frames as the camera reports it (its image row bytes).
uint32_t RowPitch(uint32_t cam, uint32_t packedRow)
{
    constexpr int32_t kImageRowBytes = 0x00420230 + 0x4390;
    double bytes = 0.0;
    int32_t err = 0;
    if (QXCM_GETPARAMETER_40(cam, kImageRowBytes, &bytes, 0, &err) && bytes >= packedRow &&
        bytes <= 16.0 * packedRow)
        return static_cast<uint32_t>(bytes);
    return 2 * packedRow;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        Usage();
        return 2;
    }
    if (o.legacy)
        return RunLegacyDemo({o.camera, o.frames, o.exposure, o.snap, o.preview});
    if (!o.replay.empty()) {
        // The file sets the pace; a recording is made only when asked for, so the default
        // recording never overwrites the file being played.
        o.record = o.record && o.recordAsked;
        if (!UseReplay(o.replay.c_str()))
            return 1;
    }
    uint32_t count = 0;
    char qxver[64] = "", velaver[64] = "";
    int32_t err = 0;
    if (!Check(QXCM_INITIALIZE_40(&count, qxver, velaver, 0, 1, &err), "initialisation", err))
        return 1;
    std::printf("qxcm %s, device library %s\n", qxver, velaver);
    ListCameras(count);
    const uint32_t cam = o.camera;
    if (!Check(QXCM_OPENCAMERA_40(cam, 0, &err), "opening the camera", err)) {
        QXCM_DEINITIALIZE_40(1);
        return 1;
    }
    if (o.listParameters)
        ListParameters(cam);
    double exposure = 0.0;
    if (o.replay.empty() &&
        Check(QXCM_SETPARAMETER_40(cam, 7, o.exposure, 0, &err), "setting the exposure", err) &&
        QXCM_GETPARAMETER_40(cam, 7, &exposure, 0, &err))
        std::printf("exposure time now %g s\n", exposure);
    if (o.area && !SetArea(cam, o)) {
        QXCM_DEINITIALIZE_40(1);
        return 1;
    }
    PatternCheck pattern;
    if (o.testPattern) {
        std::string problem;
        if (!pattern.Enable(cam, problem)) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            QXCM_DEINITIALIZE_40(1);
            return 1;
        }
        std::printf("test pattern on: kind %d, option %d\n", pattern.kind, pattern.option);
    }

    uint32_t width = 0, height = 0, dataType = 0;
    int32_t bufferFrames = o.snap ? o.frames : 32;
    if (!Check(QXCM_PREPARECAPTURE_40(cam, o.snap ? 0 : 1, bufferFrames, &width, &height, &dataType,
                                      &err),
               "preparing the capture", err)) {
        QXCM_DEINITIALIZE_40(1);
        return 1;
    }
    bool colour = qxcm::HostIsColour(dataType);
    uint32_t bytesPerSample = std::max(qxcm::HostBytesPerSample(dataType), 1u);
    std::printf("%s capture of %d frames, %u x %u, data type %u\n", o.snap ? "snap" : "sequence",
                o.frames, colour ? width / 3 : width, height, dataType);
    // Copies keep the device's row pitch: its image row bytes, or twice the packed row, which
    // leaves room for any padding, when the camera does not report them.
    uint32_t rowBytes = RowPitch(cam, width * bytesPerSample);
    size_t frameBytes = static_cast<size_t>(rowBytes) * height;
    if (o.testPattern) {
        if (colour || rowBytes == 0) {
            std::fprintf(stderr, "the test pattern check needs a mono camera\n");
            QXCM_DEINITIALIZE_40(1);
            return 1;
        }
        pattern.width = width;
        pattern.height = height;
        pattern.bytesPerSample = bytesPerSample;
        pattern.rowBytes = rowBytes;
    }
    std::vector<uint8_t> frame(frameBytes);
    // Checksums of the copied frames by device frame number (from 0), to check the recording.
    std::vector<uint64_t> checksums(static_cast<size_t>(o.frames), 0);
    std::vector<bool> copiedFrame(static_cast<size_t>(o.frames), false);
    if (o.record && !StartRecording(cam, o)) {
        QXCM_DEINITIALIZE_40(1);
        return 1;
    }

    CaptureResult result;
    auto start = std::chrono::steady_clock::now();
    auto lastPrint = start;
    if (!Check(QXCM_STARTCAPTURE_40(cam, &err), "starting the capture", err)) {
        QXCM_DEINITIALIZE_40(1);
        return 1;
    }
    int32_t deviceCount = 0;
    while (result.copied + result.skipped < o.frames) {
        int32_t index = 0;
        if (!Check(QXCM_WAITNEXTFRAME_40(cam, 0xFFFFFFFF, &index, &deviceCount, &err),
                   "waiting for a frame", err))
            break;
        // Sequence mode reports the device's count; copy every frame not yet copied that
        // the ring still holds.
        int32_t first = o.snap ? deviceCount : result.copied + result.skipped + 1;
        for (int32_t n = first; n <= deviceCount && result.copied + result.skipped < o.frames;
             ++n) {
            if (!o.snap && deviceCount - n >= bufferFrames) {
                ++result.skipped;
                continue;
            }
            uint32_t buffer = o.snap ? static_cast<uint32_t>(index)
                                     : static_cast<uint32_t>((n - 1) % bufferFrames);
            double stamp = 0.0;
            if (!Check(QXCM_GETFRAME_40(cam, buffer, frame.data(), &stamp, 0, &err),
                       "copying a frame", err))
                break;
            if (o.testPattern)
                pattern.Check(frame.data());
            size_t number = static_cast<size_t>(o.snap ? index : n - 1);
            if (number < checksums.size()) {
                checksums[number] = Checksum(frame.data(), frameBytes / 2);
                copiedFrame[number] = true;
            }
            if (o.record && number % 50 == 0) {
                char text[64];
                std::snprintf(text, sizeof text, "frame %zu copied at %.6f s", number, stamp);
                QXCM_WRITEMETADATA_40(cam, 2, static_cast<uint32_t>(number), text,
                                      static_cast<uint32_t>(std::strlen(text)), &err);
            }
            result.lastStamp = stamp;
            ++result.copied;
        }
        auto now = std::chrono::steady_clock::now();
        if (now - lastPrint > std::chrono::milliseconds(100)) {
            double s = std::chrono::duration<double>(now - start).count();
            std::printf("\rframes %5d  fps %7.1f  skipped %d ", result.copied,
                        result.copied / (s > 0 ? s : 1), result.skipped);
            std::fflush(stdout);
            lastPrint = now;
        }
    }
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("\rframes %5d  fps %7.1f  skipped %d \n", result.copied,
                result.copied / (result.seconds > 0 ? result.seconds : 1), result.skipped);
    Check(QXCM_STOPCAPTURE_40(cam, &err), "stopping the capture", err);
    int32_t recorded = 0;
    if (o.record) {
        int32_t last = 0;
        if (Check(QXCM_GETRECORDERSTATUS_40(cam, &last, &recorded, &err), "asking the recorder",
                  err))
            std::printf("recorder: %d frames written, latest index %d\n", recorded, last);
        Check(QXCM_STOPRECORDER_40(cam, &err), "stopping the recorder", err);
    }

    bool previewWritten = WritePreviewPng(o.preview, frame.data(), colour ? width / 3 : width,
                                          height, colour ? 3 : 1, bytesPerSample, rowBytes);
    Check(QXCM_UNPREPARECAPTURE_40(cam, &err), "releasing the buffers", err);
    if (o.testPattern)
        Check(QXCM_TESTPATTERN_40(cam, 0, &err), "turning the test pattern off", err);
    Check(QXCM_CLOSECAMERA_40(cam, &err), "closing the camera", err);
    QXCM_DEINITIALIZE_40(0);

#ifdef _WIN32
    const char *logPath = "c:\\temp\\qxlog.txt";
#else
    const char *logPath = "/tmp/qxlog.txt";
#endif
    std::printf("summary: %d frames copied, %d skipped, %.1f frames per second, last time stamp "
                "%.6f s\n",
                result.copied, result.skipped,
                result.copied / (result.seconds > 0 ? result.seconds : 1), result.lastStamp);
    std::printf("preview: %s\n",
                previewWritten ? AbsolutePath(o.preview).c_str() : "(not written)");
    int exitCode = result.copied > 0 ? 0 : 1;
    if (o.testPattern) {
        std::printf("test pattern: %d of %d copied frames equal the expected image, %d differ\n",
                    pattern.matched, result.copied, pattern.different);
        if (pattern.different > 0 || pattern.matched == 0)
            exitCode = 1;
    }
    if (o.record && !CheckRecording(o, checksums, copiedFrame, frameBytes))
        exitCode = 1;
    std::printf("call log: %s\n", logPath);
    return exitCode;
}
