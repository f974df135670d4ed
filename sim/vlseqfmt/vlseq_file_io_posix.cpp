// POSIX file calls: off_t is 64-bit on every target this builds for (checked below).
#include "vlseq_file_io.h"

#include <errno.h>
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

bool WriteAt(FILE *f, uint64_t offset, const void *data, size_t length)
{
    const auto *p = static_cast<const uint8_t *>(data);
    while (length != 0) {
        if (offset > static_cast<uint64_t>(INT64_MAX) - length)
            return false;
        const ssize_t n = pwrite(fileno(f), p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        offset += static_cast<uint64_t>(n);
        length -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace vlseqfmt::fileio
