// The self-test of the demo: the camera's test pattern as the image every copied frame must
// equal, computed from the pattern's kind and option as the camera documents them.
#pragma once

#include <cstdint>
#include <string>

struct PatternCheck {
    int32_t kind = 0, option = 0;
    uint32_t width = 0, height = 0; // pixels of the frame
    uint32_t bytesPerSample = 2;    // 1: the pattern's high byte, 2: the 16-bit value
    uint32_t rowBytes = 0;          // pitch of the copied rows
    int32_t matched = 0, different = 0;

    // Turns the pattern on and reads back its kind and option; false (with the reason in
    // `problem`) when the camera has no pattern.
    bool Enable(uint32_t camera, std::string &problem);
    // Counts the frame as matched when every pixel equals the pattern.
    void Check(const uint8_t *frame);
};
