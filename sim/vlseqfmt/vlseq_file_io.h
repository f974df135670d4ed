// The few file calls of the format, most of them different between Windows and POSIX: 64-bit
// positioning, the file size and the flush to stable storage. Streams are always opened in binary
// mode.
#pragma once

#include <cstdint>
#include <cstdio>

namespace vlseqfmt::fileio {

// Creates or truncates; reading while writing is allowed (the C runtimes share the file).
inline FILE *OpenForUpdate(const char *path)
{
    return std::fopen(path, "wb+");
}
// Shares the file with a writer.
inline FILE *OpenForRead(const char *path)
{
    return std::fopen(path, "rb");
}
bool Seek(FILE *f, uint64_t offset);
bool Size(FILE *f, uint64_t *size); // leaves the position at the end
bool SyncToDisk(FILE *f);           // call after fflush
// Writes at an offset without moving the stream's position (call after fflush). Only where
// the OS has such a write: on Windows a positioned write moves the file pointer that the C
// runtime appends at, so there the writer seeks instead.
#if defined(_WIN32)
constexpr bool kWritesAt = false;
#else
constexpr bool kWritesAt = true;
#endif
bool WriteAt(FILE *f, uint64_t offset, const void *data, size_t length);

} // namespace vlseqfmt::fileio
