// Replay of a recording as a camera. The recorded frames are the scene in sensor coordinates
// (two stacked views side by side), so sub-arrays, binning and the split view cut the same
// picture the synthetic cameras would; samples are taken to the 16-bit scale for the lookup
// table and brought back to the file's pixel type, so a frame nothing acts on leaves exactly
// as it was recorded.
#include "replay_source.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <new>
#include <sstream>

#include "frame_source.h"
#include "vela_api.h"

namespace velasim {
namespace {

std::string BaseName(const std::string &path)
{
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string clean;
    for (char c : name)
        clean += (static_cast<unsigned char>(c) < 0x20 || c == '"') ? '_' : c;
    return clean.substr(0, 63);
}

std::string ReaderReason(int32_t code)
{
    switch (code) {
    case VELA_ERR_NOTSUPPORT:
        return "a .vlseq version or feature this library does not read";
    case VELA_ERR_NOMEMORY:
        return "its tables do not fit in memory";
    default:
        return "not a readable recording (damaged, truncated, empty or not a .vlseq file)";
    }
}

// Step of sub-array sizes and offsets along an axis of `size` pixels: the largest of 4, 2, 1
// that divides it, so the full sensor stays a valid sub-array.
uint32_t AxisStep(uint32_t size)
{
    return size % 4 == 0 ? 4 : size % 2 == 0 ? 2 : 1;
}

} // namespace

int32_t ReplayFile::Open(const std::string &path, uint32_t views,
                         std::shared_ptr<const ReplayFile> &file, std::string &why)
{
    auto f = std::shared_ptr<ReplayFile>(new ReplayFile);
    f->path_ = path;
    if (views != 1 && views != 2) {
        why = "views must be 1 or 2";
        return VELA_ERR_INVALIDPARAM;
    }
    vlseqfmt::Reader reader;
    std::unique_ptr<vlseqfmt::Source> source = vlseqfmt::OpenFileSource(path.c_str());
    if (!source) {
        why = "cannot be opened";
        return VELA_ERR_FAILEDOPENFILE;
    }
    if (int32_t r = reader.Open(std::move(source)); r < 0) {
        why = ReaderReason(r);
        return r;
    }
    const vlseqfmt::FileHeader &h = reader.Header();
    switch (h.pixelType) {
    case 1:
        f->pixel_ = PixelType::Mono8;
        f->bytesPerPixel_ = 1;
        break;
    case 2:
        f->pixel_ = PixelType::Mono16;
        f->bytesPerPixel_ = 2;
        break;
    case 3:
        f->pixel_ = PixelType::Rgb24;
        f->bytesPerPixel_ = 3;
        break;
    default:
        why = "RGB 3x16-bit frames, which no camera here delivers";
        return VELA_ERR_NOTSUPPORT;
    }
    if (h.height % views != 0) {
        why = "frames of " + std::to_string(h.height) + " rows do not split into " +
              std::to_string(views) + " views";
        return VELA_ERR_INVALIDPARAM;
    }
    f->views_ = views;
    f->width_ = h.width;
    f->height_ = h.height / views;
    f->frameBytes_ = static_cast<size_t>(h.frameBytes);
    f->stamps_ = reader.Stamps();
    f->ledger_ = reader.Ledger();
    f->trailingGap_ = reader.TrailingGap().gap;
    f->offsets_.resize(static_cast<size_t>(reader.FrameCount()));
    for (int64_t k = 0; k < reader.FrameCount(); ++k)
        f->offsets_[static_cast<size_t>(k)] = reader.DataOffset(k);
    // The pixels are read through a source of this object's own, straight into the buffers;
    // it checks every read against the file as it was at open.
    f->source_ = vlseqfmt::OpenFileSource(path.c_str());
    if (!f->source_) {
        why = "cannot be opened";
        return VELA_ERR_FAILEDOPENFILE;
    }
    const int64_t n = f->Frames();
    double longest = 1e-6;
    for (int64_t k = 1; k < n; ++k)
        longest = std::max(longest, f->Seconds(k) - f->Seconds(k - 1));
    f->longest_ = std::min(longest, kLongestGap);
    const double span = n > 1 ? f->Seconds(n - 1) - f->Seconds(0) : 0.0;
    // Across the seam of a loop: the mean interval, or the synthetic cameras' 10 ms for a file
    // whose stamps give none (one frame, or stamps that never advance or run backwards).
    const double seam = span > 0 && n > 1 ? span / static_cast<double>(n - 1) : 0.01;
    f->loopSeconds_ = std::min((span > 0 ? span : 0.0) + seam, 1e9);
    file = std::move(f);
    return VELA_OK;
}

uint64_t ReplayFile::NumberOf(uint64_t image) const
{
    // Unsigned arithmetic: numbers of a hostile file may wrap, never overflow.
    const uint64_t n = ledger_.size();
    const uint64_t pass = ledger_.back().number + 1 + trailingGap_;
    return ledger_[static_cast<size_t>(image % n)].number + image / n * pass;
}

uint64_t ReplayFile::GapBefore(uint64_t image) const
{
    const uint64_t n = ledger_.size();
    if (image % n == 0 && image >= n)
        return trailingGap_ + ledger_.front().number;
    return ledger_[static_cast<size_t>(image % n)].gap;
}

double ReplayFile::Seconds(int64_t k) const
{
    const vlseqfmt::Stamp &s = Stamp(k);
    return static_cast<double>(s.seconds) + static_cast<double>(s.microseconds) / 1e6;
}

bool ReplayFile::Read(int64_t k, uint8_t *out) const
{
    std::lock_guard lock(mutex_);
    return source_->Read(offsets_[static_cast<size_t>(k)], out, frameBytes_);
}

std::shared_ptr<const CameraModel> ReplayCameraModel(std::shared_ptr<const ReplayFile> file)
{
    const uint32_t views = file->Views();
    const uint32_t sw = file->ViewWidth() * views, sh = file->ViewHeight();
    const uint32_t hs = AxisStep(views == 2 ? file->ViewWidth() : sw), vs = AxisStep(sh);
    const char *pixel = file->Pixel() == PixelType::Mono8    ? "mono8"
                        : file->Pixel() == PixelType::Mono16 ? "mono16"
                                                             : "rgb24";
    std::ostringstream t;
    t.precision(17);
    t << "camera C-REPLAY\n"
      << "info 0x04000100 Simulated Instruments\n"
      << "info 0x04000102 " << BaseName(file->Path()) << "\n"
      << "info 0x04000104 C-REPLAY\n"
      << "info 0x04000105 FW replay\n"
      << "info 0x04000106 4.2.1.7\n"
      // The size is set below: a recording need not be a multiple of 8 pixels.
      << "sensor 8 8 " << pixel << " linetime=1e-9 views=" << views << "\n"
      << "capabilities query=0x2\n"
      << "prop 0x00100110 \"TRIGGER SOURCE\" list rw default=1\n"
      << "text 1 INTERNAL\ntext 2 EXTERNAL\ntext 3 SOFTWARE\n"
      // What a host's wait limits are computed from: the longest recorded interval, so no wait
      // times out in a gap of the recording. Read-only: the file sets the pace.
      << "prop 0x001F0110 \"EXPOSURE TIME\" real r min=" << file->LongestInterval()
      << " max=" << file->LongestInterval() << " default=" << file->LongestInterval() << " unit=1\n"
      << "prop 0x00380510 \"OUTPUT LUT\" list rw default=1\ntext 1 OFF\ntext 2 ON\n"
      << "prop 0x00380520 \"OUTPUT LUT SELECT\" long rw min=0 max=1 step=1 default=0\n";
    if (views == 2)
        t << "prop 0x00400210 \"SENSOR MODE\" list rw default=14\ntext 1 AREA\n"
          << "text 14 SPLIT VIEW\n";
    t << "prop 0x00400410 \"TEST PATTERN\" list rw default=1\ntext 1 OFF\ntext 2 ON\n"
      << "prop 0x00400510 \"TEST PATTERN KIND\" list rw default=2\ntext 1 FLAT\n"
      << "text 2 HORIZONTAL RAMP\ntext 3 VERTICAL RAMP\ntext 4 CHECKER\n"
      << "prop 0x00400520 \"TEST PATTERN OPTION\" long rw min=0 max=65535 step=1 default=4096\n"
      << "prop 0x00400620 \"REGION READOUT\" list rw default=1\ntext 1 OFF\ntext 2 ON\n"
      << "prop 0x00401110 \"BINNING\" list rw default=1\ntext 1 1X1\n";
    // A binning is offered only where the smallest sub-array still holds one binned pixel.
    for (uint32_t b : {2u, 4u})
        if (file->ViewWidth() >= hs * b && sh >= vs * b)
            t << "text " << b << " " << b << "X" << b << "\n";
    const char *access = views == 2 ? "rwv" : "rw";
    t << "prop 0x00402110 \"SUBARRAY HPOS\" long " << access << " min=0 max=0 step=" << hs
      << " default=0 unit=3\n"
      << "prop 0x00402120 \"SUBARRAY HSIZE\" long rw min=" << hs << " max=" << sw << " step=" << hs
      << " default=" << sw << " unit=3\n"
      << "prop 0x00402130 \"SUBARRAY VPOS\" long " << access << " min=0 max=0 step=" << vs
      << " default=0 unit=3\n"
      << "prop 0x00402140 \"SUBARRAY VSIZE\" long rw min=" << vs << " max=" << sh << " step=" << vs
      << " default=" << sh << " unit=3\n"
      << "prop 0x00402150 \"SUBARRAY MODE\" list rw default=1\ntext 1 OFF\ntext 2 ON\n"
      << "prop 0x00403010 \"FRAME OVERHEAD TIME\" real r min=0 max=1 step=0.000001 unit=1\n";
    if (views == 2)
        t << "prop 0x004201C0 \"NUMBER OF VIEWS\" long r min=1 max=2 default=2\n";
    t << "prop 0x00420210 \"IMAGE WIDTH\" long r min=1 max=" << sw << " unit=3\n"
      << "prop 0x00420220 \"IMAGE HEIGHT\" long r min=1 max=" << sh << " unit=3\n"
      << "prop 0x00420230 \"IMAGE ROWBYTES\" long r min=1 max=1e12\n"
      << "prop 0x00420240 \"IMAGE FRAME SIZE IN 8-BYTE UNITS\" long r min=0 max=1e12\n";
    if (views == 2)
        t << "prop 0x00420250 \"IMAGE VIEW OFFSET BYTES\" long rv min=0 max=1e12\n";
    // The file's pixel type is the only one offered: another is refused as a value not listed.
    if (file->Pixel() == PixelType::Mono8)
        t << "prop 0x00420270 \"IMAGE PIXEL TYPE\" list rw default=1\ntext 1 MONO8\n";
    else if (file->Pixel() == PixelType::Mono16)
        t << "prop 0x00420270 \"IMAGE PIXEL TYPE\" list rw default=2\ntext 2 MONO16\n";
    t << "prop 0x00421010 \"FRAME BUNDLE MODE\" list rw default=1\ntext 1 OFF\ntext 2 ON\n"
      << "prop 0x00421020 \"FRAME BUNDLE NUMBER\" long rw min=1 max=16 step=1 default=1\n"
      << "prop 0x00421040 \"FRAME BUNDLE FRAME STEP BYTES\" long r min=0 max=1e12\n"
      << "prop 0x00FF0110 \"REPLAY PACE\" list rw default=1\ntext 1 RECORDED\ntext 2 HOST\n"
      << "prop 0x00FF0120 \"REPLAY END\" list rw default=1\ntext 1 LOOP\ntext 2 STOP\n";
    CameraSet parsed;
    std::string error;
    if (ParseCameraSet(t.str(), parsed, error) != 1)
        return nullptr; // the text above is fixed but for numbers; a test loads every shape
    auto model = std::make_shared<CameraModel>(*parsed[0]);
    model->sensorWidth = sw;
    model->sensorHeight = sh;
    model->replay = std::move(file);
    return model;
}

ReplayScene::ReplayScene(std::shared_ptr<const ReplayFile> file, const Geometry &g,
                         const Processing &p)
    : file_(std::move(file)), g_(std::make_unique<const Geometry>(g)),
      p_(std::make_unique<const Processing>(p))
{
    const ReplayFile &f = *file_;
    const bool own = g.binning == 1 && g.views == f.Views() && g.width == f.ViewWidth() &&
                     g.height == f.ViewHeight() &&
                     static_cast<size_t>(g.rowBytes) == size_t{g.width} * f.BytesPerPixel() &&
                     g.viewY[0] == 0 && g.viewX[0] == 0 &&
                     (g.views == 1 || (g.viewX[1] == f.ViewWidth() && g.viewY[1] == 0));
    direct_ =
        own && g.pixel == f.Pixel() && p.testPattern == 0 && p.lut.empty() && p.regions.empty();
    if (direct_)
        return;
    // A recording may hold frames of up to 2 GiB: a machine without the memory for the
    // working copies ends the capture instead of the process.
    try {
        lut_ = LutTable(p.lut);
        mask_ = RegionMask(g, p.regions);
        scratch_.resize(p.testPattern != 0 ? 0 : f.FrameBytes());
        samples_.resize(size_t{g.width} * 3);
    } catch (const std::bad_alloc &) {
        failed_ = true;
    }
}

ReplayScene::~ReplayScene() = default;

bool ReplayScene::Write(int64_t k, uint8_t *out) const
{
    const ReplayFile &f = *file_;
    if (direct_)
        return f.Read(k, out);
    if (failed_)
        return false;
    std::lock_guard lock(scratchMutex_);
    const Geometry &g = *g_;
    const Processing &p = *p_;
    if (p.testPattern == 0 && !f.Read(k, scratch_.data()))
        return false;
    const uint32_t channels = f.Pixel() == PixelType::Rgb24 ? 3 : 1;
    const uint32_t b = g.binning;
    const size_t sensorW = size_t{f.ViewWidth()} * f.Views(), sensorH = f.ViewHeight();
    const size_t fileRow = size_t{f.ViewWidth()} * f.BytesPerPixel();
    // The 16-bit value of channel c at sensor pixel (x, y); 0 off the sensor.
    auto at = [&](size_t x, size_t y, uint32_t c) -> uint32_t {
        if (x >= sensorW || y >= sensorH)
            return 0;
        const size_t view = x / f.ViewWidth(), fx = x % f.ViewWidth();
        const uint8_t *row = scratch_.data() + (view * sensorH + y) * fileRow;
        if (f.Pixel() == PixelType::Mono16)
            return row[2 * fx] | static_cast<uint32_t>(row[2 * fx + 1]) << 8;
        return static_cast<uint32_t>(row[fx * channels + c]) << 8;
    };
    memset(out, 0, g.ImageBytes());
    for (uint32_t v = 0; v < g.views; ++v) {
        for (size_t y = 0; y < g.height; ++y) {
            for (size_t x = 0; x < g.width; ++x) {
                for (uint32_t c = 0; c < channels; ++c) {
                    uint32_t s = 0;
                    if (p.testPattern != 0) {
                        s = PatternValue(p.testPattern, p.testOption, x, y, g.width, g.height);
                    } else {
                        // A binned pixel is the mean of those it covers, rounded half up, so
                        // binning keeps the recording's brightness.
                        uint64_t sum = 0;
                        for (uint32_t j = 0; j < b; ++j)
                            for (uint32_t i = 0; i < b; ++i)
                                sum += at(g.viewX[v] + x * b + i, g.viewY[v] + y * b + j, c);
                        s = static_cast<uint32_t>((sum + b * b / 2) / (b * b));
                    }
                    if (!lut_.empty())
                        s = lut_[std::min<uint32_t>(s, 65535)];
                    samples_[x * channels + c] =
                        mask_[y * g.width + x] ? static_cast<uint16_t>(s) : 0;
                }
            }
            uint8_t *row = out + (v * g.height + y) * g.rowBytes;
            if (g.pixel == PixelType::Mono16) {
                for (size_t x = 0; x < g.width; ++x) {
                    row[2 * x] = static_cast<uint8_t>(samples_[x] & 0xFF);
                    row[2 * x + 1] = static_cast<uint8_t>(samples_[x] >> 8);
                }
            } else {
                for (size_t x = 0; x < size_t{g.width} * channels; ++x)
                    row[x] = static_cast<uint8_t>(samples_[x] >> 8);
            }
        }
    }
    return true;
}

} // namespace velasim
