// Writes recordings for tiff_oracle.py into a folder, with a manifest line per file:
//   <file> <frames our reader gives> <frames linked for TIFF readers> <pixelType> <width> <height>
// Clean recordings of every pixel type, alignment and frame count, and every operation prefix
// of one buffered recording as a process crash would leave it.
#include "vlseq_test_util.h"

#include "vlseq_bytes.h"

#include <cstdio>
#include <fstream>
#include <string>

using namespace vlseqfmt;
using namespace vlseqtest;

namespace {

// Frames a TIFF reader reaches: the chain from the header's first link through each frame's
// next-directory field, followed only into directories that lie inside the file.
int64_t Linked(const std::vector<uint8_t> &img)
{
    int64_t n = 0;
    uint64_t at = img.size() >= 16 ? Get64(img.data() + 8) : 0;
    while (at != 0 && at + kIfdBytes <= img.size()) {
        ++n;
        at = Get64(img.data() + at + kIfdNextOffset);
    }
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    const std::string dir = argv[1];
    FILE *manifest = std::fopen((dir + "/manifest.txt").c_str(), "w");
    if (!manifest)
        return 1;
    auto emit = [&](const std::string &name, const std::vector<uint8_t> &img, const Geometry &g) {
        Reader r;
        const int64_t ours = OpenImage(r, img) == 1 ? r.FrameCount() : 0;
        std::fprintf(manifest, "%s %lld %lld %u %u %u\n", name.c_str(),
                     static_cast<long long>(ours), static_cast<long long>(Linked(img)), g.pixelType,
                     g.width, g.height);
        std::ofstream out(dir + "/" + name, std::ios::binary);
        return static_cast<bool>(out.write(reinterpret_cast<const char *>(img.data()),
                                           static_cast<std::streamsize>(img.size())));
    };
    for (uint32_t type = 1; type <= 4; ++type)
        for (uint32_t align : {6u, 12u})
            for (int frames : {1, 8, 9}) {
                const Geometry g{type, 10 + type, 6, 0};
                MemoryWriter w;
                Writer::Options o;
                o.dataAlignLog2 = align;
                bool ok =
                    w.Start(g, 20, 64, 64, true, o) == 1 && WriteText(w, kLevelFile, 0, "o") == 1;
                for (int f = 0; f < frames; ++f)
                    ok = ok && AppendTestFrame(w, g, f, 2) == 1;
                const std::string name = "clean_t" + std::to_string(type) + "_a" +
                                         std::to_string(align) + "_n" + std::to_string(frames);
                if (!ok || w.Close() != 1 || !emit(name + ".vlseq", w.file->image, g))
                    return 1;
            }
    const Geometry g{3, 5, 4, 0};
    MemoryWriter w;
    bool ok = w.Start(g, 20) == 1;
    for (int f = 0; f < 4; ++f)
        ok = ok && AppendTestFrame(w, g, f) == 1 &&
             (f != 1 || WriteText(w, kLevelGroup, 1, "g") == 1);
    if (!ok || w.Close() != 1)
        return 1;
    for (size_t p = 1; p <= w.file->ops.size(); ++p)
        if (!emit("prefix_" + std::to_string(p) + ".vlseq", ReplayOps(w.file->ops, p), g))
            return 1;
    return std::fclose(manifest) == 0 ? 0 : 1;
}
