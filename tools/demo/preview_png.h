// A PNG preview of a frame, stretched to 8 bits between its dim and bright percentiles.
#pragma once

#include <cstdint>
#include <string>

// Writes width x height pixels of `samples` samples each (1 grey, 3 colour), `bytesPerSample`
// 1 or 2, rows `rowBytes` apart. False when the file cannot be written.
bool WritePreviewPng(const std::string &path, const void *frame, uint32_t width, uint32_t height,
                     uint32_t samples, uint32_t bytesPerSample, uint32_t rowBytes);

// The path as the user can find it from anywhere: absolute, or as given when that fails.
std::string AbsolutePath(const std::string &path);
