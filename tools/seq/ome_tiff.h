// Writing a recording as one OME-TIFF: every frame a page (one per view), the OME-XML in the
// first page's description with sizes, pixel type, channels, frame times and the file's texts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct OmeRecording {
    uint32_t pixelType = 0;             // 1 mono8, 2 mono16, 3 RGB 3x8, 4 RGB 3x16
    uint32_t width = 0;                 // pixels per row
    uint32_t rows = 0;                  // rows of a recorded frame (every view stacked)
    uint32_t views = 1;                 // views stacked in each frame; each becomes a channel
    std::vector<double> seconds;        // per frame, since the first exported frame
    std::vector<uint64_t> frameNumbers; // the device's number of each frame
    std::string gaps; // numbers missing between exported frames: "first+count(dropped) ..."
    std::string fileText;
    std::vector<std::pair<int32_t, std::string>> groupTexts, frameTexts; // index, text
    // The packed pixels of exported frame k (k from 0), or null when it cannot be read.
    std::function<const uint8_t *(size_t k)> frame;
    // Where exported frame k's pixels lie in `sourcePath`, when known: they are then copied
    // from there (on Linux file to file by the kernel, as a file copy does), else through `frame`.
    std::string sourcePath;
    std::vector<uint64_t> sourceOffsets;
};

// A classic TIFF when every offset fits 32 bits (ImageJ 1.x reads it as one stack), else a
// BigTIFF; `forceBig` asks for BigTIFF anyway. False with the reason in `error`; a failed
// export removes what it wrote.
bool WriteOmeTiff(const std::string &path, const OmeRecording &r, std::string &error,
                  bool forceBig = false);

// Text as XML character data: markup characters escaped, bytes that are not UTF-8 or not
// allowed in XML replaced by U+FFFD.
std::string XmlText(const std::string &bytes);
