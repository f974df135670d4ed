// The main job through the older calls, for hosts written against them: initialise, open,
// set the exposure by its property name, start, take the next frames, write an 8-bit preview.
#pragma once

#include <cstdint>
#include <string>

struct LegacyDemoOptions {
    uint32_t camera;
    int32_t frames;
    double exposure;
    bool snap;
    std::string preview;
};

// Runs the capture and prints its progress and summary; the process exit code.
int RunLegacyDemo(const LegacyDemoOptions &o);
