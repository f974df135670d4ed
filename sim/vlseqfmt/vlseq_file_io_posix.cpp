// POSIX file calls: off_t is 64-bit on every target this builds for (checked below).
#include "vlseq_file_io.h"

#include <sys/types.h>
#include <unistd.h>

namespace vlseqfmt::fileio {

static_assert(sizeof(off_t) == 8, "offsets past 2 GiB need a 64-bit off_t");

bool Seek(FILE *f, uint64_t offset)
{
    return offset <= static_cast<uint64_t>(INT64_MAX) &&
           fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool Size(FILE *f, uint64_t *size)
{
    if (fseeko(f, 0, SEEK_END) != 0)
        return false;
    const off_t end = ftello(f);
    if (end < 0)
        return false;
    *size = static_cast<uint64_t>(end);
    return true;
}

bool SyncToDisk(FILE *f)
{
    return fdatasync(fileno(f)) == 0;
}

} // namespace vlseqfmt::fileio
