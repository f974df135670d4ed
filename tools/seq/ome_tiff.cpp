// OME-TIFF writer. The file is written front to back in one pass: header, OME-XML, the
// frames' pixels as the recording stores them (each page's strip points into its frame), then
// every page's directory.
#include "ome_tiff.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "vlseq_file_io.h"

#ifdef __linux__
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Directory entries: tag, type, count, value (inline when it fits, else at `external`).
struct Entry {
    uint16_t tag, type;
    uint64_t count, value;
};
constexpr uint16_t kShort = 3, kLong = 4, kAscii = 2, kLong8 = 16;
constexpr uint64_t kPageBytes = 4096;
// The kernel copies file to file in steps of this many bytes from where the output stands. A
// step that does not start on such a boundary of the output file gets its page cache built
// from single pages, and the whole copy then takes half as long again as a copy of the file.
constexpr uint64_t kCopyStepBytes = 64 * 1024;

void Put(std::string &out, uint64_t v, size_t bytes)
{
    for (size_t k = 0; k < bytes; ++k)
        out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

// One page's directory; `extra` (placed right after it, at `at + DirectoryBytes`) holds the
// values that do not fit inline: the RGB bits and sample formats of a classic TIFF.
std::string Directory(bool big, uint64_t at, const std::vector<Entry> &entries, uint16_t spp,
                      uint16_t bits, uint64_t next)
{
    const size_t entryBytes = big ? 20 : 12, inlineBytes = big ? 8 : 4;
    const uint64_t extraAt = at + (big ? 8 : 2) + entries.size() * entryBytes + (big ? 8 : 4);
    std::string d, extra;
    Put(d, entries.size(), big ? 8 : 2);
    for (const Entry &e : entries) {
        Put(d, e.tag, 2);
        Put(d, e.type, 2);
        Put(d, e.count, big ? 8 : 4);
        if ((e.tag == 258 || e.tag == 339) && spp == 3) {
            std::string values;
            for (int k = 0; k < 3; ++k)
                Put(values, e.tag == 258 ? bits : 1, 2);
            if (values.size() <= inlineBytes) {
                values.resize(inlineBytes, '\0');
                d += values;
            } else {
                Put(d, extraAt + extra.size(), inlineBytes);
                extra += values;
            }
        } else {
            Put(d, e.value, inlineBytes);
        }
    }
    Put(d, next, big ? 8 : 4);
    d += extra;
    if (d.size() % 8)
        d.resize(d.size() + 8 - d.size() % 8, '\0');
    return d;
}

std::string Number(double v)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

std::string OmeXml(const OmeRecording &r, uint32_t planeRows)
{
    const bool rgb = r.pixelType >= 3;
    const bool wide = r.pixelType == 2 || r.pixelType == 4;
    const size_t frames = r.seconds.size();
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<OME xmlns=\"http://www.openmicroscopy.org/Schemas/OME/2016-06\" "
                    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                    "xsi:schemaLocation=\"http://www.openmicroscopy.org/Schemas/OME/2016-06 "
                    "http://www.openmicroscopy.org/Schemas/OME/2016-06/ome.xsd\" "
                    "Creator=\"qxcm-seq\">";
    x += "<Image ID=\"Image:0\" Name=\"recording\"><Pixels ID=\"Pixels:0\" "
         "DimensionOrder=\"XYCZT\" Type=\"" +
         std::string(wide ? "uint16" : "uint8") + "\" SignificantBits=\"" + (wide ? "16" : "8") +
         "\" Interleaved=\"" + (rgb ? "true" : "false") + "\" BigEndian=\"false\" SizeX=\"" +
         std::to_string(r.width) + "\" SizeY=\"" + std::to_string(planeRows) +
         "\" SizeZ=\"1\" SizeC=\"" + std::to_string(r.views * (rgb ? 3 : 1)) + "\" SizeT=\"" +
         std::to_string(frames) + "\">";
    for (uint32_t v = 0; v < r.views; ++v)
        x += "<Channel ID=\"Channel:0:" + std::to_string(v) + "\" Name=\"view " +
             std::to_string(v + 1) + "\" SamplesPerPixel=\"" + (rgb ? "3" : "1") + "\"/>";
    x += "<TiffData IFD=\"0\" PlaneCount=\"" + std::to_string(frames * r.views) + "\"/>";
    std::vector<std::string> frameRefs(frames);
    for (const auto &[index, body] : r.frameTexts)
        if (index >= 0 && static_cast<size_t>(index) < frames)
            frameRefs[static_cast<size_t>(index)] =
                "<AnnotationRef ID=\"Annotation:frame:" + std::to_string(index) + "\"/>";
    for (size_t t = 0; t < frames; ++t)
        for (uint32_t v = 0; v < r.views; ++v)
            x += "<Plane TheZ=\"0\" TheC=\"" + std::to_string(v) + "\" TheT=\"" +
                 std::to_string(t) + "\" DeltaT=\"" + Number(r.seconds[t]) +
                 "\" DeltaTUnit=\"s\">" + frameRefs[t] + "</Plane>";
    x += "</Pixels><AnnotationRef ID=\"Annotation:texts\"/>"
         "<AnnotationRef ID=\"Annotation:frames\"/></Image>";
    x += "<StructuredAnnotations><MapAnnotation ID=\"Annotation:texts\" "
         "Namespace=\"qxcm/recording-texts\"><Value>";
    if (!r.fileText.empty())
        x += "<M K=\"file\">" + XmlText(r.fileText) + "</M>";
    for (const auto &[index, body] : r.groupTexts)
        x += "<M K=\"group " + std::to_string(index) + "\">" + XmlText(body) + "</M>";
    x += "</Value></MapAnnotation>";
    x += "<MapAnnotation ID=\"Annotation:frames\" Namespace=\"qxcm/frame-numbers\"><Value>"
         "<M K=\"frame numbers\">";
    for (size_t t = 0; t < r.frameNumbers.size(); ++t)
        x += (t ? " " : "") + std::to_string(r.frameNumbers[t]);
    x += "</M>";
    if (!r.gaps.empty())
        x += "<M K=\"gaps\">" + r.gaps + "</M>";
    x += "</Value></MapAnnotation>";
    for (const auto &[index, body] : r.frameTexts) {
        x += "<CommentAnnotation ID=\"Annotation:frame:" + std::to_string(index) +
             "\" Namespace=\"qxcm/frame-text\"><Value>" + XmlText(body) +
             "</Value></CommentAnnotation>";
    }
    x += "</StructuredAnnotations></OME>";
    return x;
}

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};

// Copies `bytes` from `source` at `offset` to the end of `out` inside the kernel: 1 done; 0
// not possible here, with `out` as it was before; -1 `out` could not be restored.
int KernelCopy(FILE *source, uint64_t offset, FILE *out, uint64_t bytes)
{
#ifdef __linux__
    if (std::fflush(out) != 0)
        return -1;
    const int fd = fileno(out);
    const off_t start = lseek(fd, 0, SEEK_CUR);
    if (start < 0)
        return 0;
    auto from = static_cast<off_t>(offset);
    for (uint64_t left = bytes; left > 0;) {
        const ssize_t n = copy_file_range(fileno(source), &from, fd, nullptr, left, 0);
        if (n <= 0)
            return ftruncate(fd, start) == 0 && fseeko(out, start, SEEK_SET) == 0 ? 0 : -1;
        left -= static_cast<uint64_t>(n);
    }
    return fseeko(out, 0, SEEK_END) == 0 ? 1 : -1;
#else
    (void)source, (void)offset, (void)out, (void)bytes;
    return 0;
#endif
}

// The same through one block of memory, in reads and writes of up to kBlockBytes: 1 done; 0
// no memory for the block, with `out` as it was before; -1 failed, with `error` set when the
// recording could not be read.
int BlockCopy(FILE *source, uint64_t offset, FILE *out, uint64_t bytes, std::string &error)
{
    constexpr uint64_t kBlockBytes = uint64_t{4} << 20;
    const auto blockBytes = static_cast<size_t>(std::min(bytes, kBlockBytes));
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[blockBytes]);
    if (!block)
        return 0;
    if (!vlseqfmt::fileio::Seek(source, offset)) {
        error = "the recording could not be read where its frames lie";
        return -1;
    }
    for (uint64_t left = bytes; left > 0;) {
        const auto n = static_cast<size_t>(std::min<uint64_t>(left, blockBytes));
        if (std::fread(block.get(), 1, n, source) != n) {
            error = "the recording could not be read where its frames lie";
            return -1;
        }
        if (std::fwrite(block.get(), 1, n, out) != n)
            return -1;
        left -= n;
    }
    return 1;
}

// The recording, unbuffered, for copies of its frames' stretch; null when their places are not
// known or it cannot be opened.
std::unique_ptr<FILE, FileCloser> OpenSource(const OmeRecording &r, size_t frames)
{
    if (r.sourcePath.empty() || r.sourceOffsets.size() != frames)
        return nullptr;
    std::unique_ptr<FILE, FileCloser> f(vlseqfmt::fileio::OpenForRead(r.sourcePath.c_str()));
    if (f)
        std::setvbuf(f.get(), nullptr, _IONBF, 0);
    return f;
}

} // namespace

std::string XmlText(const std::string &bytes)
{
    std::string out;
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            if (c == '&')
                out += "&amp;";
            else if (c == '<')
                out += "&lt;";
            else if (c == '>')
                out += "&gt;";
            else if (c == '"')
                out += "&quot;";
            else if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                out += static_cast<char>(c);
            else
                out += "\xEF\xBF\xBD";
            continue;
        }
        // A well-formed UTF-8 sequence passes; anything else becomes one U+FFFD per byte.
        size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        uint32_t code = len == 2 ? c & 0x1Fu : len == 3 ? c & 0x0Fu : c & 0x07u;
        bool ok = len != 0 && i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) {
            ok = (s[i + k] & 0xC0) == 0x80;
            code = code << 6 | (s[i + k] & 0x3Fu);
        }
        ok = ok &&
             !(len == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE ||
                            code == 0xFFFF)) &&
             !(len == 4 && (code < 0x10000 || code > 0x10FFFF));
        if (ok) {
            out.append(bytes, i, len);
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

bool WriteOmeTiff(const std::string &path, const OmeRecording &r, std::string &error, bool forceBig)
{
    const bool rgb = r.pixelType >= 3;
    const uint16_t spp = rgb ? 3 : 1;
    const uint16_t bits = r.pixelType == 2 || r.pixelType == 4 ? 16 : 8;
    if (r.pixelType < 1 || r.pixelType > 4 || r.width == 0 || r.views == 0 ||
        r.rows % r.views != 0 || r.seconds.empty() || !r.frame) {
        error = "nothing to export, or frames that do not split into the views";
        return false;
    }
    const uint32_t planeRows = r.rows / r.views;
    const uint64_t planeBytes = uint64_t{r.width} * planeRows * spp * (bits / 8);
    const uint64_t frameBytes = planeBytes * r.views;
    const size_t frames = r.seconds.size();
    std::string xml = OmeXml(r, planeRows);
    xml += '\0';

    std::unique_ptr<FILE, FileCloser> source = OpenSource(r, frames);
    // Pixels come over as the whole stretch of the recording that holds them, chunk headers
    // between frames included: copied by the kernel in one call where it can (a copy per frame
    // costs a third more, a write between two copies half as much again), else in large reads
    // and writes. A stretch of a megabyte or more starts on a boundary of the kernel's copy
    // steps, a shorter one on a page, which keeps a small export small. Otherwise the frames
    // follow one another.
    bool stretch = source != nullptr;
    for (size_t t = 1; stretch && t < frames; ++t)
        stretch = r.sourceOffsets[t] >= r.sourceOffsets[t - 1] + frameBytes;
    if (!stretch)
        source.reset();
    // Where frame t's pixels lie, counted from the start of the pixel data.
    auto placed = [&](size_t t) {
        return stretch ? r.sourceOffsets[t] - r.sourceOffsets[0] : t * ((frameBytes + 7) / 8 * 8);
    };
    const uint64_t dataBytes = placed(frames - 1) + frameBytes;
    const uint64_t align = !stretch ? 8 : dataBytes < (1u << 20) ? kPageBytes : kCopyStepBytes;
    auto up = [align](uint64_t v) { return (v + align - 1) / align * align; };

    auto entries = [&](bool first, uint64_t strip, bool big, uint64_t xmlAt) {
        const uint16_t offsetType = big ? kLong8 : kLong;
        std::vector<Entry> e = {{256, kLong, 1, r.width},
                                {257, kLong, 1, planeRows},
                                {258, kShort, spp, bits},
                                {259, kShort, 1, 1},
                                {262, kShort, 1, rgb ? 2u : 1u}};
        if (first)
            e.push_back({270, kAscii, xml.size(), xmlAt});
        e.push_back({273, offsetType, 1, strip});
        e.push_back({277, kShort, 1, spp});
        e.push_back({278, kLong, 1, planeRows});
        e.push_back({279, offsetType, 1, planeBytes});
        e.push_back({284, kShort, 1, 1});
        e.push_back({339, kShort, spp, 1});
        return e;
    };
    // The layout: header, OME-XML, the frames' pixels, then every page's directory.
    struct Layout {
        uint64_t xmlAt, dataAt, dirsAt, end;
    };
    auto layout = [&](bool big) {
        Layout l{};
        l.xmlAt = big ? 16 : 8;
        l.dataAt = up(l.xmlAt + xml.size());
        l.dirsAt = (l.dataAt + dataBytes + 7) / 8 * 8;
        const uint64_t first = Directory(big, 0, entries(true, 0, big, 0), spp, bits, 0).size();
        const uint64_t other = Directory(big, 0, entries(false, 0, big, 0), spp, bits, 0).size();
        l.end = l.dirsAt + first + (frames * r.views - 1) * other;
        return l;
    };
    const bool big = forceBig || layout(false).end > 0xFFFFFFFFull;
    const Layout l = layout(big);

    std::unique_ptr<FILE, FileCloser> out(std::fopen(path.c_str(), "wb"));
    if (!out) {
        error = "cannot create " + path;
        return false;
    }
    std::setvbuf(out.get(), nullptr, _IOFBF, 1 << 20);
    bool ok = true;
    auto write = [&](const void *data, size_t bytes) {
        ok = ok && std::fwrite(data, 1, bytes, out.get()) == bytes;
    };
    static const char zeros[kPageBytes] = {};
    auto pad = [&](uint64_t bytes) {
        for (uint64_t left = bytes; left > 0; left -= std::min<uint64_t>(left, kPageBytes))
            write(zeros, static_cast<size_t>(std::min<uint64_t>(left, kPageBytes)));
    };
    std::string head;
    if (big) {
        head = std::string("II\x2B\0\x08\0\0\0", 8);
        Put(head, l.dirsAt, 8);
    } else {
        head = std::string("II\x2A\0", 4);
        Put(head, l.dirsAt, 4);
    }
    write(head.data(), head.size());
    write(xml.data(), xml.size());
    pad(l.dataAt - l.xmlAt - xml.size());

    int copied = 0;
    if (stretch) {
        copied = KernelCopy(source.get(), r.sourceOffsets[0], out.get(), dataBytes);
        if (copied == 0)
            copied = BlockCopy(source.get(), r.sourceOffsets[0], out.get(), dataBytes, error);
    }
    source.reset();
    ok = ok && copied >= 0;
    // Through the file library: each frame at its place, zeros between.
    for (size_t t = 0; t < frames && ok && copied == 0; ++t) {
        pad(placed(t) - (t == 0 ? 0 : placed(t - 1) + frameBytes));
        const uint8_t *pixels = r.frame(t);
        if (!pixels) {
            error = "frame " + std::to_string(t) + " could not be read";
            ok = false;
            break;
        }
        write(pixels, frameBytes);
    }
    pad(l.dirsAt - l.dataAt - dataBytes);

    uint64_t at = l.dirsAt;
    for (size_t t = 0; t < frames && ok; ++t)
        for (uint32_t v = 0; v < r.views; ++v) {
            const bool first = t == 0 && v == 0;
            const bool last = t + 1 == frames && v + 1 == r.views;
            const std::vector<Entry> e =
                entries(first, l.dataAt + placed(t) + v * planeBytes, big, l.xmlAt);
            const uint64_t bytes = Directory(big, at, e, spp, bits, 0).size();
            const std::string d = Directory(big, at, e, spp, bits, last ? 0 : at + bytes);
            write(d.data(), d.size());
            at += bytes;
        }
    ok = ok && at == l.end && std::fflush(out.get()) == 0;
    if (!ok) {
        if (error.empty())
            error = "writing " + path + " failed";
        out.reset();
        std::remove(path.c_str());
        return false;
    }
    if (std::fclose(out.release()) != 0) {
        error = "writing " + path + " failed";
        std::remove(path.c_str());
        return false;
    }
    return true;
}
