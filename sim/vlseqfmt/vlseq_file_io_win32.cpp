// Windows file calls: long is 32-bit on Win64, so plain fseek/ftell would break past 2 GiB.
// The C runtime's fopen shares files for reading and writing, so a recording can be read while
// it is being written.
#include "vlseq_file_io.h"

#include <io.h>
#include <windows.h>

namespace vlseqfmt::fileio {

bool Seek(FILE *f, uint64_t offset)
{
    return offset <= static_cast<uint64_t>(INT64_MAX) &&
           _fseeki64(f, static_cast<__int64>(offset), SEEK_SET) == 0;
}

bool Size(FILE *f, uint64_t *size)
{
    if (_fseeki64(f, 0, SEEK_END) != 0)
        return false;
    const __int64 end = _ftelli64(f);
    if (end < 0)
        return false;
    *size = static_cast<uint64_t>(end);
    return true;
}

bool SyncToDisk(FILE *f)
{
    const intptr_t os = _get_osfhandle(_fileno(f));
    return os != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(os)) != 0;
}

bool WriteAt(FILE *, uint64_t, const void *, size_t)
{
    return false; // kWritesAt: the writer seeks instead
}

} // namespace vlseqfmt::fileio
