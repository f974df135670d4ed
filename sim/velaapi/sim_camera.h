// One simulated camera: its property values, the state the older interface keeps beside them,
// and its capture engine. Every member is guarded by `mutex`; the producer thread and host calls
// meet on it and on `changed`.
#pragma once

#include <math.h>
#include <stdint.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera_set.h"
#include "common/saturating_cast.h"
#include "frame_corrections.h"
#include "frame_loss.h"
#include "frame_source.h"
#include "vela_api.h"

namespace velasim {

class RecorderSink; // a recorder connected to the capture (ops_recorder.cpp)
using Clock = std::chrono::steady_clock;

// Property values equal but for rounding, relative to the larger of 1 and |b|.
inline bool Near(double a, double b)
{
    return fabs(a - b) <= 1e-9 * std::max(1.0, fabs(b));
}

// A property id split into its parts: base property, view (top byte) and array element.
struct PropertyRef {
    const PropertyModel *model = nullptr;
    uint32_t key = 0; // the id the value is stored under
    uint32_t view = 0;
    uint32_t element = 0;
};

struct FrameSlot {
    bool filled = false;
    uint32_t frameNumber = 0; // running number of the buffer frame since the start
    uint32_t stampSeconds = 0;
    int32_t stampMicroseconds = 0;
};

enum class BufferKind { None, Allocated, Attached };

class Camera {
  public:
    Camera(int32_t index, std::shared_ptr<const CameraModel> model);
    ~Camera();
    Camera(const Camera &) = delete;
    Camera &operator=(const Camera &) = delete;

    const int32_t index;
    const std::shared_ptr<const CameraModel> model;
    std::mutex mutex;
    std::condition_variable changed;

    // ---- properties (callers hold mutex) ----
    int32_t Resolve(uint32_t id, PropertyRef &ref) const;
    int32_t GetValue(uint32_t id, double &value) const;
    // `host` writes are checked (writable, limits, capture state); control-surface writes
    // are not.
    int32_t SetValue(uint32_t id, double value, bool host);
    int32_t Attributes(uint32_t id, VelaAttrRecord &record) const;
    int32_t NextId(uint32_t &id, uint32_t option);
    int32_t QueryValue(uint32_t id, double &value, uint32_t option) const;
    int32_t ValueText(uint32_t id, double value, std::string &text) const;
    int32_t Name(uint32_t id, std::string &name) const;
    Geometry CurrentGeometry() const;
    uint32_t DataTypeCode() const;
    uint32_t TypeCodeOf(PixelType pixel) const;
    // Seconds per image: exposure plus readout, times the frames averaged into it.
    double ImageInterval() const;
    bool Has(uint32_t id) const { return model->Find(id) != nullptr; }
    // 1 internal, 2 external, 3 software (4, the master pulse, paces like internal).
    double TriggerSource() const;
    // Renders the scene of the prepared buffers now, so the first frame after a start is not
    // held up by it (a large sensor takes a while, most of all in sanitizer builds).
    void PrepareScene(std::unique_lock<std::mutex> &lock) { Source(lock, CurrentProcessing()); }
    double Value(uint32_t id, double fallback) const;

    // ---- the older interface (camera_legacy.cpp; callers hold mutex) ----
    int32_t LegacyBinning(int32_t &value) const;
    int32_t SetLegacyBinning(int32_t value);
    int32_t LegacyTriggerMode(int32_t &value) const;
    int32_t SetLegacyTriggerMode(int32_t value);
    int32_t LegacyTriggerPolarity(int32_t &value) const;
    int32_t SetLegacyTriggerPolarity(int32_t value);
    int32_t ScanModeCount(int32_t &count) const;
    int32_t ScanMode(int32_t &mode) const;
    int32_t SetScanMode(int32_t mode);
    int32_t FeatureValue(uint32_t number, float &value) const;
    int32_t SetFeatureValue(uint32_t number, float &value);

    // ---- what frames go through (camera_processing.cpp; callers hold mutex) ----
    int32_t SetRegions(const VelaRegionEntry *entries, uint32_t count);
    int32_t SetLut(const int32_t *pairs, uint32_t count);

    // ---- capture (capture_engine.cpp; callers hold the lock passed in) ----
    int32_t AllocBuffers(int32_t frames);
    int32_t Precapture(uint32_t mode);
    int32_t AttachBuffers(void **buffers, uint32_t count);
    int32_t ReleaseBuffers(std::unique_lock<std::mutex> &lock, BufferKind only);
    // Under the manual clock frames come only from Deliver; with `manualWaits` too, a wait that
    // finds nothing pending times out at once on the camera's clock instead of blocking.
    int32_t Start(std::unique_lock<std::mutex> &lock, int32_t mode, bool manualClock,
                  bool manualWaits = false);
    int32_t Stop(std::unique_lock<std::mutex> &lock);
    int32_t FireTrigger(uint32_t option);
    int32_t Wait(std::unique_lock<std::mutex> &lock, uint32_t mask, uint32_t timeoutMs,
                 uint32_t &event);
    int32_t Deliver(std::unique_lock<std::mutex> &lock, int32_t count);
    int32_t Lock(int32_t index, VelaFrameRecord &record) const;
    int32_t CommitReference();
    int32_t FinishReference();
    int32_t Status() const;
    // Closes the device: stops capture, wakes waiters, drops buffers, detaches the recorder
    // (the lock is released meanwhile).
    void Shut(std::unique_lock<std::mutex> &lock);
    bool Precaptured() const { return precaptured_; }
    // Returns the recorder it replaces, if another one was connected, for the caller to detach
    // once the lock is released.
    std::shared_ptr<RecorderSink> ConnectRecorder(std::shared_ptr<RecorderSink> sink);
    void DisconnectRecorder(const RecorderSink *sink);

    bool open = false;
    bool waitOpen = false;
    uint32_t generation = 0; // counts opens; part of the handles of the current one
    BufferKind bufferKind = BufferKind::None;
    Geometry bufferGeometry;
    std::vector<uint8_t *> frames;
    std::vector<FrameSlot> slots;
    bool capturing = false;
    int32_t startMode = 0;
    uint32_t framesCaptured = 0; // buffer frames delivered since the start
    uint32_t framesExposed = 0;  // frames exposed since the start: the next frame's number
    FrameLoss loss;              // frames lost between the sensor and the host
    // Off: a connected recorder whose ring is full drops the frame instead of holding up the
    // sensor, which keeps its pace.
    bool backPressure = true;
    int32_t newestIndex = -1;

  private:
    // The values of every property, to tell which ones a change touched.
    struct Snapshot {
        std::map<uint32_t, std::vector<double>> entries;
    };
    static uint32_t ToU32(double v) { return qxcm::SaturateToUint32(v); }
    Snapshot Take() const;
    void Normalize();
    void NoteUpdates(const Snapshot &before, uint32_t exclude);
    void FollowTriggerProperties();
    bool Derived(const PropertyRef &ref, double &value) const;
    void Limits(const PropertyRef &ref, double &minValue, double &maxValue,
                double &stepValue) const;
    int32_t Check(const PropertyRef &ref, double value) const;
    bool AffectsGeometry(uint32_t base) const;
    uint32_t Binning() const;
    Processing CurrentProcessing() const;
    // The recursive filter's frame count; 1 when it is off or a reference is being captured.
    uint32_t RecursiveFrames() const;
    // Frames averaged into each delivered one (1 when averaging is off).
    uint32_t AveragedFrames() const;
    std::shared_ptr<const FrameSource> Source(std::unique_lock<std::mutex> &lock,
                                              const Processing &processing);
    // Exposes the next frame and delivers it unless it is lost; false when nothing was exposed
    // (the capture ended or the buffers changed).
    bool Produce(std::unique_lock<std::mutex> &lock, double stamp, bool producerThread);
    // ---- replay of a recording (capture_engine.cpp) ----
    // Recorded images handed out since the start (the first of the next buffer frame).
    uint64_t ReplayImage() const { return replayImages_; }
    // Ends a capture that is to stop at the end of the file once the next frame would pass it.
    bool ReplayEnded();
    // The stamp of a replayed image, counted on across loops.
    void ReplayStamp(uint64_t image, FrameSlot &slot) const;
    // Waits until the next recorded frame is due; false when the capture stops meanwhile.
    bool AwaitReplayPace(std::unique_lock<std::mutex> &lock, Clock::time_point &next,
                         double &previous);
    void AwaitRecorderRoom(std::unique_lock<std::mutex> &lock);
    void ProducerLoop();
    void JoinProducer(std::unique_lock<std::mutex> &lock);
    void DropBuffers();

    std::map<uint32_t, double> values_;
    std::map<uint32_t, double> overrides_; // control-surface values of computed properties
    std::deque<uint32_t> updated_;
    uint32_t hiddenBinning_ = 1;
    int32_t legacyTriggerMode_ = 1;
    int32_t hiddenPolarity_ = 0;
    int32_t hiddenScanMode_ = 1;
    std::map<uint32_t, float> features_;
    std::vector<Region> regions_;
    std::vector<std::pair<int32_t, int32_t>> lut_;

    // capture
    struct BlockFree {
        void operator()(uint8_t *p) const;
    };
    std::unique_ptr<uint8_t, BlockFree> block_; // allocated buffers, aligned (camera_buffers.cpp)
    bool precaptured_ = false;
    bool manual_ = false;
    bool manualWaits_ = false;
    bool stopRequested_ = false;
    std::thread producer_;
    bool producerRunning_ = false; // the producer thread is in its loop
    uint32_t frameEventsSeen_ = 0;
    uint32_t referenceFrames_ = 0, referenceEventsSeen_ = 0;
    bool captureEndPending_ = false;
    uint64_t abortGeneration_ = 0;
    uint32_t pendingTriggers_ = 0;
    int writers_ = 0;              // frames being written outside the lock
    bool producerWriting_ = false; // one of them by the producer thread
    double simulatedClock_ = 0;
    uint32_t captureReference_ = 0; // reference kind of the running capture
    struct Reference {
        uint32_t kind = 0; // 2 background, 3 shading
        Geometry geometry;
        std::shared_ptr<const ReferenceFrame> frame;
    };
    std::map<uint32_t, Reference> backgroundSlots_, shadingSlots_;
    bool referenceCaptured_ = false;
    std::shared_ptr<const FrameSource> source_;
    RecursiveFilter filter_;
    std::shared_ptr<RecorderSink> recorder_;
    bool replayWanted_ = false; // a host waits for a frame of a replay paced by the host
    uint64_t replayImages_ = 0; // recorded images handed out (or lost) since the start
};

} // namespace velasim
