// qxcm-seq: what a .vlseq recording holds, and its frames as PNG or 16-bit TIFF files.
//   qxcm-seq info FILE
//   qxcm-seq gaps FILE
//   qxcm-seq export FILE OUTPUT-PREFIX [--frames FIRST:LAST] [--tiff]
//   qxcm-seq export FILE --ome-tiff OUT.ome.tif [--frames FIRST:LAST] [--views N] [--bigtiff]
//   [--plain-copy]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image_writers.h"
#include "ome_tiff.h"
#include "vlseq_reader.h"
#include "vlseqapi/vlseq_api.h"

namespace {

constexpr uint32_t kMaxText = (1u << 20) + 1;

int Usage()
{
    std::fprintf(stderr, "usage: qxcm-seq info FILE\n"
                         "       qxcm-seq gaps FILE\n"
                         "       qxcm-seq export FILE OUTPUT-PREFIX [--frames FIRST:LAST] "
                         "[--tiff]\n"
                         "       qxcm-seq export FILE --ome-tiff OUT.ome.tif [--frames FIRST:LAST] "
                         "[--views N] [--bigtiff] [--plain-copy]\n");
    return 2;
}

struct Recording {
    uint64_t file = 0;
    int32_t frames = 0;
    std::vector<VlseqStamp> stamps;
    VlseqFrameRecord first{};
};

bool Fail(const char *what, int32_t code)
{
    std::fprintf(stderr, "%s failed: 0x%08X\n", what, static_cast<uint32_t>(code));
    return false;
}

bool Open(const char *path, Recording &r)
{
    VlseqInitRecord init{};
    init.size = sizeof init;
    if (int32_t rc = VlseqInit(&init); rc < 0)
        return Fail("initialising the file library", rc);
    VlseqOpenRecord open{};
    open.size = sizeof open;
    open.path = path;
    if (int32_t rc = VlseqOpen(&open); rc < 0)
        return Fail("opening the file", rc);
    r.file = open.file;
    if (int32_t rc = VlseqGetParam(r.file, VLSEQ_PARAM_FRAMECOUNT, &r.frames); rc < 0)
        return Fail("reading the frame count", rc);
    r.stamps.resize(static_cast<size_t>(r.frames));
    VlseqStampBlock block{};
    block.size = sizeof block;
    block.kind = 0x00010000;
    block.stamps = r.stamps.data();
    block.frameCount = block.frameCount2 = static_cast<uint32_t>(r.frames);
    block.stampBytes = sizeof(VlseqStamp);
    if (int32_t rc = VlseqCopyStamps(r.file, &block); rc < 0)
        return Fail("reading the time stamps", rc);
    r.first.size = sizeof r.first;
    if (int32_t rc = VlseqLockFrame(r.file, &r.first); rc < 0)
        return Fail("reading frame 0", rc);
    return true;
}

// A text of the file, empty when there is none.
std::string Text(uint64_t file, uint32_t level, int32_t index)
{
    static std::vector<char> buffer(kMaxText);
    VlseqTextRecord t{};
    t.size = sizeof t;
    t.kind = 1;
    t.level = level;
    t.index = index;
    t.buffer = buffer.data();
    t.bufferBytes = kMaxText - 1;
    buffer[0] = '\0';
    if (VlseqReadText(file, &t) < 0)
        return {};
    buffer[kMaxText - 1] = '\0';
    return buffer.data();
}

double Seconds(const VlseqStamp &s)
{
    return s.seconds + s.microseconds / 1e6;
}

const char *PixelName(uint32_t type)
{
    switch (type) {
    case 1:
        return "mono 8-bit";
    case 2:
        return "mono 16-bit";
    case 3:
        return "RGB 3x8-bit";
    case 4:
        return "RGB 3x16-bit";
    default:
        return "unknown";
    }
}

// The device numbers the recording lacks, from the format's reader; false when it cannot read
// the file (the sequence-file library said why already, or says it next).
bool ReadGaps(const char *path, std::vector<vlseqfmt::Gap> &gaps)
{
    vlseqfmt::Reader reader;
    if (int32_t rc = reader.Open(vlseqfmt::OpenFileSource(path)); rc != 1)
        return Fail("reading the frame numbers", rc);
    gaps = reader.Gaps();
    return true;
}

void PrintGap(const vlseqfmt::Gap &g)
{
    std::printf("%llu", static_cast<unsigned long long>(g.first));
    if (g.count > 1)
        std::printf("-%llu", static_cast<unsigned long long>(g.first + g.count - 1));
    std::printf(" (%llu): ", static_cast<unsigned long long>(g.count));
    if (g.dropped == g.count)
        std::printf("dropped by the recorder\n");
    else if (g.dropped == 0)
        std::printf("never delivered\n");
    else
        std::printf("%llu dropped by the recorder, %llu never delivered\n",
                    static_cast<unsigned long long>(g.dropped),
                    static_cast<unsigned long long>(g.count - g.dropped));
}

int Gaps(const char *path)
{
    std::vector<vlseqfmt::Gap> gaps;
    if (!ReadGaps(path, gaps))
        return 1;
    for (const vlseqfmt::Gap &g : gaps)
        PrintGap(g);
    return 0;
}

int Info(const char *path)
{
    std::vector<vlseqfmt::Gap> gaps;
    if (!ReadGaps(path, gaps))
        return 1;
    Recording r;
    if (!Open(path, r))
        return 1;
    std::printf("file:        %s\n", path);
    std::printf("frames:      %d\n", r.frames);
    uint64_t lost = 0, dropped = 0;
    for (const vlseqfmt::Gap &g : gaps) {
        lost += g.count;
        dropped += g.dropped;
    }
    std::printf("frames lost: %llu (%llu dropped by the recorder, %llu never delivered) in %zu "
                "gaps\n",
                static_cast<unsigned long long>(lost), static_cast<unsigned long long>(dropped),
                static_cast<unsigned long long>(lost - dropped), gaps.size());
    constexpr size_t kListed = 10;
    for (size_t k = 0; k < gaps.size() && k < kListed; ++k) {
        std::printf("  gap:       ");
        PrintGap(gaps[k]);
    }
    if (gaps.size() > kListed)
        std::printf("  ...        %zu more (qxcm-seq gaps lists them all)\n",
                    gaps.size() - kListed);
    std::printf("geometry:    %u x %d, %s, %d bytes per row\n", r.first.width, r.first.rows,
                PixelName(r.first.pixelType), r.first.rowBytes);
    double span = Seconds(r.stamps.back()) - Seconds(r.stamps.front());
    std::printf("time stamps: %.6f s to %.6f s, span %.6f s", Seconds(r.stamps.front()),
                Seconds(r.stamps.back()), span);
    if (r.frames > 1 && span > 0)
        std::printf(", %.2f frames per second", (r.frames - 1) / span);
    std::printf("\n");
    std::string fileText = Text(r.file, VLSEQ_TEXT_FILE, 0);
    std::printf("file text:   %s\n", fileText.empty() ? "(none)" : fileText.c_str());
    for (int32_t g = 0; g < r.frames; ++g) {
        std::string text = Text(r.file, VLSEQ_TEXT_GROUP, g);
        if (!text.empty())
            std::printf("group %d:     %s\n", g, text.c_str());
    }
    for (int32_t k = 0; k < r.frames; ++k) {
        std::string text = Text(r.file, VLSEQ_TEXT_FRAME, k);
        if (!text.empty())
            std::printf("frame %d:     %s\n", k, text.c_str());
    }
    VlseqClose(r.file);
    return 0;
}

// Opens the recording and resolves FIRST:LAST against it (a LAST past the end is the end).
bool OpenRange(const char *path, Recording &r, int32_t &first, int32_t &last)
{
    if (!Open(path, r))
        return false;
    if (last < 0 || last >= r.frames)
        last = r.frames - 1;
    if (first < 0 || first > last) {
        std::fprintf(stderr, "no frames in %d:%d of %d\n", first, last, r.frames);
        return false;
    }
    return true;
}

int Export(const char *path, const std::string &prefix, int32_t first, int32_t last, bool tiff)
{
    Recording r;
    if (!OpenRange(path, r, first, last))
        return 1;
    const uint32_t samples = r.first.pixelType >= 3 ? 3 : 1;
    const uint32_t bytes = r.first.pixelType == 2 || r.first.pixelType == 4 ? 2 : 1;
    for (int32_t k = first; k <= last; ++k) {
        VlseqFrameRecord f{};
        f.size = sizeof f;
        f.index = k;
        if (int32_t rc = VlseqLockFrame(r.file, &f); rc < 0)
            return Fail("reading a frame", rc), 1;
        // Rows are packed in the file, so the pitch gives the pixels per row.
        Image image{static_cast<const uint8_t *>(f.address),
                    static_cast<uint32_t>(f.rowBytes) / (samples * bytes),
                    static_cast<uint32_t>(f.rows), samples, bytes};
        char name[32];
        std::snprintf(name, sizeof name, "_%06d.%s", k, tiff ? "tif" : "png");
        std::string out = prefix + name;
        if (!(tiff ? WriteTiff(out, image) : WritePng(out, image))) {
            std::fprintf(stderr, "writing %s failed\n", out.c_str());
            return 1;
        }
        std::printf("%s\n", out.c_str());
    }
    VlseqClose(r.file);
    return 0;
}

int ExportOme(const char *path, const char *out, int32_t first, int32_t last, uint32_t views,
              bool big, bool plain)
{
    Recording r;
    if (!OpenRange(path, r, first, last))
        return 1;
    OmeRecording o;
    o.pixelType = r.first.pixelType;
    o.width = static_cast<uint32_t>(r.first.rowBytes) /
              ((o.pixelType >= 3 ? 3u : 1u) * (o.pixelType % 2 == 0 ? 2u : 1u));
    o.rows = static_cast<uint32_t>(r.first.rows);
    o.views = views;
    o.fileText = Text(r.file, VLSEQ_TEXT_FILE, 0);
    // The file text's length is known, so NULs inside it are kept; group and frame texts end
    // at their first NUL, as the file library gives no length for them.
    if (int32_t bytes = 0; VlseqGetParam(r.file, VLSEQ_PARAM_FILETEXTBYTES, &bytes) >= 0 &&
                           bytes > 0 && static_cast<uint32_t>(bytes) < kMaxText) {
        std::vector<char> text(static_cast<size_t>(bytes) + 1);
        VlseqTextRecord t{};
        t.size = sizeof t;
        t.kind = 1;
        t.level = VLSEQ_TEXT_FILE;
        t.buffer = text.data();
        t.bufferBytes = static_cast<uint32_t>(bytes);
        if (VlseqReadText(r.file, &t) >= 0)
            o.fileText.assign(text.data(), static_cast<size_t>(bytes));
    }
    for (int32_t k = first; k <= last; ++k) {
        o.seconds.push_back(Seconds(r.stamps[static_cast<size_t>(k)]) -
                            Seconds(r.stamps[static_cast<size_t>(first)]));
        for (uint32_t level : {VLSEQ_TEXT_GROUP, VLSEQ_TEXT_FRAME})
            if (std::string text = Text(r.file, level, k); !text.empty())
                (level == VLSEQ_TEXT_GROUP ? o.groupTexts : o.frameTexts)
                    .emplace_back(level == VLSEQ_TEXT_GROUP ? k : k - first, text);
    }
    // The frames' device numbers and the gaps, which the file library has no call for, and
    // where the pixels lie, so that they can be copied file to file: through the format's
    // reader, which must see the file as the file library does.
    vlseqfmt::Reader reader;
    const bool read =
        reader.Open(vlseqfmt::OpenFileSource(path)) == 1 && reader.FrameCount() == r.frames &&
        reader.Header().frameBytes == uint64_t{o.rows} * static_cast<uint32_t>(r.first.rowBytes);
    for (int32_t k = first; k <= last; ++k)
        o.frameNumbers.push_back(read ? reader.Ledger()[static_cast<size_t>(k)].number
                                      : static_cast<uint64_t>(k));
    if (read)
        for (const vlseqfmt::Gap &g : reader.Gaps())
            if (g.beforeFrame > first && g.beforeFrame <= last) {
                if (!o.gaps.empty())
                    o.gaps += ' ';
                o.gaps += std::to_string(g.first);
                o.gaps += '+';
                o.gaps += std::to_string(g.count);
                o.gaps += '(';
                o.gaps += std::to_string(g.dropped);
                o.gaps += ')';
            }
    if (read && !plain) {
        o.sourcePath = path;
        for (int32_t k = first; k <= last; ++k)
            o.sourceOffsets.push_back(reader.DataOffset(k));
    }
    o.frame = [&](size_t k) -> const uint8_t * {
        VlseqFrameRecord f{};
        f.size = sizeof f;
        f.index = first + static_cast<int32_t>(k);
        if (VlseqLockFrame(r.file, &f) < 0)
            return nullptr;
        return static_cast<const uint8_t *>(f.address);
    };
    std::string error;
    const bool ok = WriteOmeTiff(out, o, error, big);
    VlseqClose(r.file);
    if (!ok) {
        std::fprintf(stderr, "exporting %s failed: %s\n", path, error.c_str());
        return 1;
    }
    std::printf("%s\n", out);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "info") == 0)
        return Info(argv[2]);
    if (argc >= 5 && std::strcmp(argv[1], "export") == 0 &&
        std::strcmp(argv[3], "--ome-tiff") == 0) {
        int32_t first = 0, last = -1;
        uint32_t views = 1;
        bool big = false, plain = false;
        for (int k = 5; k < argc; ++k) {
            const char *value = k + 1 < argc ? argv[k + 1] : "";
            if (std::strcmp(argv[k], "--bigtiff") == 0)
                big = true;
            else if (std::strcmp(argv[k], "--plain-copy") == 0)
                plain = true;
            else if (std::strcmp(argv[k], "--frames") == 0 &&
                     std::sscanf(value, "%d:%d", &first, &last) >= 1)
                ++k;
            else if (std::strcmp(argv[k], "--views") == 0 &&
                     std::sscanf(value, "%u", &views) == 1 && views >= 1 && views <= 16)
                ++k;
            else
                return Usage();
        }
        return ExportOme(argv[2], argv[4], first, last, views, big, plain);
    }
    if (argc == 3 && std::strcmp(argv[1], "gaps") == 0)
        return Gaps(argv[2]);
    if (argc >= 4 && std::strcmp(argv[1], "export") == 0) {
        int32_t first = 0, last = -1;
        bool tiff = false;
        for (int k = 4; k < argc; ++k) {
            if (std::strcmp(argv[k], "--tiff") == 0)
                tiff = true;
            else if (std::strcmp(argv[k], "--frames") == 0 && k + 1 < argc &&
                     std::sscanf(argv[++k], "%d:%d", &first, &last) >= 1)
                ;
            else
                return Usage();
        }
        return Export(argv[2], argv[3], first, last, tiff);
    }
    return Usage();
}
