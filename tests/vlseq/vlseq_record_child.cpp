// Records test frames until it is killed, printing its process id and then the number of frames
// stored after each one. Used by the killed-recorder test: vlseq_record_child <path>
// buffered|durable
#include "vlseq_test_util.h"

#include <cstdio>
#include <string>

#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const vlseqfmt::Geometry g{2, 256, 128, 0};
    vlseqfmt::Writer w;
    if (w.Open(argv[1], g, 1000000, 64, 64, std::string(argv[2]) == "buffered") != 1 ||
        vlseqtest::WriteText(w, vlseqfmt::kLevelFile, 0, "killed") != 1)
        return 1;
    std::printf("%ld\n", static_cast<long>(getpid()));
    for (int64_t f = 0; f < 1000000; ++f) {
        if (vlseqtest::AppendTestFrame(w, g, f) != 1)
            return 1;
        std::printf("%lld\n", static_cast<long long>(f + 1));
        std::fflush(stdout);
    }
    return 0;
}
