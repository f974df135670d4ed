// A camera that plays a .vlseq recording: the file opened and checked once when the camera set
// is loaded, the camera model its geometry implies, and the replayed scene as the capture
// engine writes it into buffer frames.
#pragma once

#include <stdint.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera_set.h"
#include "vlseq_reader.h"

namespace velasim {

struct Geometry;
struct Processing;

class ReplayFile {
  public:
    // Opens and checks `path` for replay with `views` views stacked in each recorded frame:
    // VELA_OK, VELA_ERR_FAILEDOPENFILE (cannot be opened), the reader's code for a file that is
    // not a readable recording, VELA_ERR_NOTSUPPORT for a pixel type no camera here delivers,
    // VELA_ERR_INVALIDPARAM for frames that do not split into the views. `why` says which.
    static int32_t Open(const std::string &path, uint32_t views,
                        std::shared_ptr<const ReplayFile> &file, std::string &why);

    const std::string &Path() const { return path_; }
    PixelType Pixel() const { return pixel_; }
    uint32_t ViewWidth() const { return width_; }
    uint32_t ViewHeight() const { return height_; }
    uint32_t Views() const { return views_; }
    uint32_t BytesPerPixel() const { return bytesPerPixel_; }
    size_t FrameBytes() const { return frameBytes_; }
    int64_t Frames() const { return static_cast<int64_t>(offsets_.size()); }
    const vlseqfmt::Stamp &Stamp(int64_t k) const { return stamps_[static_cast<size_t>(k)]; }
    // The device's number of replayed image `image` (counted from the start, past the end as
    // the file loops): the number recorded with it, a pass later by the numbers one pass
    // spans (last number, one, and the numbers missing after the last frame).
    uint64_t NumberOf(uint64_t image) const;
    // The numbers missing right before that image: the recorded gap, and across the seam of
    // a loop the numbers missing after the last frame and before the first.
    uint64_t GapBefore(uint64_t image) const;
    double Seconds(int64_t k) const;
    // One pass of the file in seconds: first to last stamp plus the mean interval, so a loop
    // keeps the recorded cadence across its seam; always positive.
    double LoopSeconds() const { return loopSeconds_; }
    // The longest interval between consecutive frames (at least 1 us, at most kLongestGap).
    double LongestInterval() const { return longest_; }
    static constexpr double kLongestGap = 3600.0; // a longer recorded gap paces as this
    // Recorded frame k (views stacked, rows packed) into `out`; false when the file can no
    // longer be read there (it shrank since it was opened). One read from the file straight
    // into `out`: from the page cache that costs about a memcpy, and nothing is kept between
    // frames, so a replay of a file larger than memory runs in the memory of one frame. The
    // file is read, not mapped: a mapped file cut short while it plays would fault the host.
    bool Read(int64_t k, uint8_t *out) const;

  private:
    std::string path_;
    PixelType pixel_ = PixelType::Mono16;
    uint32_t width_ = 0, height_ = 0, views_ = 1, bytesPerPixel_ = 2;
    size_t frameBytes_ = 0;
    std::vector<uint64_t> offsets_;
    std::vector<vlseqfmt::Stamp> stamps_;
    std::vector<vlseqfmt::LedgerEntry> ledger_;
    uint64_t trailingGap_ = 0;
    double loopSeconds_ = 0, longest_ = 0;
    mutable std::mutex mutex_; // the source reads through one file position
    std::unique_ptr<vlseqfmt::Source> source_;
};

// The camera that plays `file`: sensor, pixel type, views and packed rows from the recording;
// sub-array, binning, lookup table, regions, test pattern, triggers and bundles as on the
// synthetic cameras; the replay's pace and end as properties.
std::shared_ptr<const CameraModel> ReplayCameraModel(std::shared_ptr<const ReplayFile> file);

// The replayed scene under one geometry and processing setting.
class ReplayScene {
  public:
    ReplayScene(std::shared_ptr<const ReplayFile> file, const Geometry &g, const Processing &p);
    ~ReplayScene();
    // Writes the image for recorded frame k at `out` (ImageBytes of the geometry); false when
    // the file can no longer be read or the scene found no memory.
    bool Write(int64_t k, uint8_t *out) const;
    int64_t Frames() const { return file_->Frames(); }

  private:
    std::shared_ptr<const ReplayFile> file_;
    std::unique_ptr<const Geometry> g_;
    std::unique_ptr<const Processing> p_;
    bool direct_ = false; // the geometry is the file's own and nothing acts on it
    bool failed_ = false; // no memory for the working copies
    std::vector<uint16_t> lut_;
    std::vector<uint8_t> mask_;
    mutable std::mutex scratchMutex_;
    mutable std::vector<uint8_t> scratch_;
    mutable std::vector<uint16_t> samples_;
};

} // namespace velasim
