// The few file calls that differ between Windows and POSIX: 64-bit positioning, the file size
// and the flush to stable storage. Streams are always opened in binary mode.
#pragma once

#include <cstdint>
#include <cstdio>

namespace vlseqfmt::fileio {

FILE *OpenForUpdate(const char *path); // creates or truncates; reading while writing is allowed
FILE *OpenForRead(const char *path);   // shares the file with a writer
bool Seek(FILE *f, uint64_t offset);
bool Size(FILE *f, uint64_t *size); // leaves the position at the end
bool SyncToDisk(FILE *f);           // call after fflush

} // namespace vlseqfmt::fileio
