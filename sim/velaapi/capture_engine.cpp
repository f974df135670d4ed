// Capture engine of a simulated camera: the producer thread that paces frames by exposure and
// readout time, the manual clock, frame events and waits. The frame buffers and their locks are
// in camera_buffers.cpp.
#include <math.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <limits>

#include "common/saturating_cast.h"
#include "property_ids.h"
#include "recorder_sink.h"
#include "replay_source.h"
#include "sim_camera.h"
#include "sim_state.h"

namespace velasim {
namespace {

double NowSeconds()
{
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

void SplitStamp(double t, uint32_t &seconds, int32_t &microseconds)
{
    double whole = floor(t);
    auto micro = qxcm::SaturateToInt64(nearbyint((t - whole) * 1e6));
    if (micro >= 1000000) {
        whole += 1;
        micro -= 1000000;
    }
    seconds = qxcm::SaturateToUint32(whole);
    microseconds = static_cast<int32_t>(micro < 0 ? 0 : micro); // 0 to 999999 once split
}

// Frame intervals come from settings a test may set to anything (an exposure of 3e6 s or 1e300
// through the control surface); the wait is capped at a year so the deadline stays far inside
// the clock's range.
Clock::duration IntervalDuration(double seconds)
{
    constexpr double kYear = 365.0 * 24 * 3600;
    const double capped = seconds > kYear ? kYear : seconds;
    return std::chrono::nanoseconds(qxcm::SaturateToInt64(capped * 1e9));
}

} // namespace

double Camera::TriggerSource() const
{
    if (Has(kPropTriggerSource))
        return Value(kPropTriggerSource, 1);
    switch (legacyTriggerMode_) {
    case 32:
        return 3;
    case 2:
    case 4:
    case 64:
    case 512:
    case 1024:
        return 2;
    default:
        return 1;
    }
}

int32_t Camera::Start(std::unique_lock<std::mutex> &lock, int32_t mode, bool manualClock,
                      bool manualWaits)
{
    if (mode != -1 && mode != 0)
        return VELA_ERR_INVALIDPARAM;
    if (capturing)
        return VELA_ERR_BUSY;
    if (bufferKind == BufferKind::None)
        return VELA_ERR_NOTREADY;
    JoinProducer(lock);
    changed.wait(lock, [this] { return writers_ == 0; });
    // Both waits let the lock go: a start of another thread may have begun the capture (and
    // its producer thread) meanwhile, and a second thread object must not replace that one.
    if (capturing || producer_.joinable())
        return VELA_ERR_BUSY;
    double reference = Value(kPropReferenceCaptureMode, 1);
    captureReference_ = reference == 2 || reference == 3 ? static_cast<uint32_t>(reference) : 0;
    referenceCaptured_ = false;
    slots.assign(frames.size(), FrameSlot{});
    framesCaptured = framesExposed = 0;
    newestIndex = -1;
    frameEventsSeen_ = 0;
    referenceFrames_ = referenceEventsSeen_ = 0;
    captureEndPending_ = false;
    pendingTriggers_ = 0;
    startMode = mode;
    manual_ = manualClock;
    manualWaits_ = manualClock && manualWaits;
    filter_.Reset();
    stopRequested_ = false;
    replayWanted_ = false;
    replayImages_ = 0;
    capturing = true;
    if (!manual_) {
        producerRunning_ = true;
        try {
            producer_ = std::thread([this] { ProducerLoop(); });
        } catch (...) { // no thread to be had: nothing may be thrown across the C boundary
            producerRunning_ = capturing = false;
            return VELA_ERR_NORESOURCE;
        }
    }
    return VELA_OK;
}

void Camera::JoinProducer(std::unique_lock<std::mutex> &lock)
{
    if (!producer_.joinable())
        return;
    stopRequested_ = true;
    changed.notify_all();
    std::thread t = std::move(producer_);
    // Waits for the end of the loop, not of the thread (which then touches nothing of the
    // camera): a thread ends only with the loader lock on Windows, and a host library being
    // unloaded holds it while it stops the capture. At process end the thread is gone already.
    if (!ProcessEnding())
        changed.wait(lock, [this] { return !producerRunning_; });
    producerRunning_ = false;
    LetThreadGo(t);
    if (producerWriting_) {
        // The thread was ended in the middle of a frame: on Windows the other threads are gone
        // before the host library's exit handlers close the device. It holds nothing any more.
        producerWriting_ = false;
        --writers_;
    }
}

int32_t Camera::Stop(std::unique_lock<std::mutex> &lock)
{
    capturing = false;
    JoinProducer(lock);
    ++abortGeneration_;
    changed.notify_all();
    return VELA_OK;
}

void Camera::Shut(std::unique_lock<std::mutex> &lock)
{
    Stop(lock);
    changed.wait(lock, [this] { return writers_ == 0; });
    DropBuffers();
    std::shared_ptr<RecorderSink> recorder = std::move(recorder_);
    precaptured_ = false;
    open = false;
    waitOpen = false;
    ++abortGeneration_;
    changed.notify_all();
    if (recorder) {
        // The writer thread ends with the device, after the frames it holds reach the file.
        lock.unlock();
        recorder->Detach();
        lock.lock();
    }
}

int32_t Camera::FireTrigger(uint32_t option)
{
    if (option != 0)
        return VELA_ERR_INVALIDPARAM;
    if (!capturing)
        return VELA_ERR_NOTREADY;
    if (TriggerSource() != 3)
        return VELA_ERR_ACCESSDENY;
    ++pendingTriggers_;
    changed.notify_all();
    return VELA_OK;
}

std::shared_ptr<const FrameSource> Camera::Source(std::unique_lock<std::mutex> &lock,
                                                  const Processing &processing)
{
    if (source_ && source_->geometry == bufferGeometry && source_->processing == processing)
        return source_;
    Geometry g = bufferGeometry;
    std::shared_ptr<const CameraModel> m = model;
    lock.unlock();
    auto built = std::make_shared<const FrameSource>(*m, g, processing);
    lock.lock();
    source_ = built;
    return built;
}

// Fills the next buffer frame and publishes it. The copy runs without the lock; `writers_`
// keeps the buffers alive until it is done. A lost frame uses up its number and nothing else.
bool Camera::Produce(std::unique_lock<std::mutex> &lock, double stamp, bool producerThread)
{
    std::shared_ptr<const FrameSource> source = Source(lock, CurrentProcessing());
    if (!capturing || frames.empty() || !(source->geometry == bufferGeometry) || ReplayEnded())
        return false;
    // A replayed frame carries the number it was recorded with; the numbers the recording
    // lacks before it count as exposed and never delivered, as a transport loss.
    const uint64_t image = ReplayImage();
    uint64_t replayGap = 0;
    if (model->replay) {
        const uint64_t recorded = model->replay->NumberOf(image);
        replayGap = model->replay->GapBefore(image);
        framesExposed = static_cast<uint32_t>(recorded / bufferGeometry.bundle);
        replayImages_ += bufferGeometry.bundle;
    }
    const uint32_t number = framesExposed++;
    if (loss.Active() && loss.Lost(number)) {
        if (std::shared_ptr<RecorderSink> sink = recorder_) {
            const uint32_t images = bufferGeometry.bundle;
            lock.unlock();
            sink->Lost(images);
            lock.lock();
        }
        return true;
    }
    const uint32_t recursive = RecursiveFrames();
    if (recursive <= 1)
        filter_.Reset();
    const size_t slotIndex = framesCaptured % frames.size();
    uint8_t *frame = frames[slotIndex];
    slots[slotIndex].filled = false;
    ++writers_;
    if (producerThread)
        producerWriting_ = true;
    lock.unlock();
    const bool written =
        source->Write(frame, number * bufferGeometry.bundle,
                      static_cast<int64_t>(image % static_cast<uint64_t>(INT64_MAX)));
    if (recursive > 1) // per-frame work, only while the filter is on
        filter_.Apply(frame, bufferGeometry, recursive, number * bufferGeometry.bundle,
                      source->processing.testPattern == 0);
    lock.lock();
    if (!written) {
        // A replayed file that shrank since it was opened ends the capture.
        fprintf(stderr,
                "velasim: replay file %s can no longer be read (cut short, or no memory for "
                "the settings' working copy); the capture ends\n",
                model->replay->Path().c_str());
        --writers_;
        if (producerThread)
            producerWriting_ = false;
        capturing = false;
        captureEndPending_ = true;
        changed.notify_all();
        return false;
    }
    FrameSlot &slot = slots[slotIndex];
    slot.filled = true;
    slot.frameNumber = number;
    if (model->replay)
        ReplayStamp(image, slot);
    else
        SplitStamp(stamp, slot.stampSeconds, slot.stampMicroseconds);
    newestIndex = static_cast<int32_t>(slotIndex);
    ++framesCaptured;
    if (captureReference_ != 0) {
        ++referenceFrames_;
        referenceCaptured_ = true;
    }
    if (std::shared_ptr<RecorderSink> sink = recorder_) {
        Geometry g = bufferGeometry;
        FrameSlot s = slot;
        const uint64_t first =
            model->replay ? model->replay->NumberOf(image) : uint64_t{number} * g.bundle;
        lock.unlock();
        if (replayGap > 0) // what the recording lacked, the recording of the replay lacks
            sink->Lost(static_cast<uint32_t>(std::min<uint64_t>(replayGap, UINT32_MAX)));
        sink->Append(frame, g, s.stampSeconds, s.stampMicroseconds, first, backPressure);
        lock.lock();
    }
    --writers_;
    if (producerThread)
        producerWriting_ = false;
    if (startMode == 0 && framesCaptured >= frames.size()) {
        capturing = false;
        captureEndPending_ = true;
    }
    changed.notify_all();
    return true;
}

// A disk slower than the camera slows the capture here, before a frame is produced: no buffer
// is held and the lock is free while the recorder makes room, so a stop, release or close waits
// at most for the frame being written.
void Camera::AwaitRecorderRoom(std::unique_lock<std::mutex> &lock)
{
    std::shared_ptr<RecorderSink> sink = recorder_;
    if (!sink || !backPressure)
        return;
    const uint32_t images = bufferGeometry.bundle;
    lock.unlock();
    sink->AwaitRoom(images);
    lock.lock();
}

void Camera::ProducerLoop()
{
    std::unique_lock lock(mutex);
    // Render the scene before the clock starts, so the first frame is not late.
    Source(lock, CurrentProcessing());
    auto next = Clock::now();
    double previous = NAN; // stamp of the replayed frame before, in seconds
    while (!stopRequested_ && capturing) {
        AwaitRecorderRoom(lock);
        if (stopRequested_ || !capturing)
            break;
        const double source = TriggerSource();
        const double interval = ImageInterval() * bufferGeometry.bundle;
        if (model->replay && (source == 1 || source == 4)) {
            if (!AwaitReplayPace(lock, next, previous))
                break;
        } else if (source == 3) {
            changed.wait(lock, [this] { return stopRequested_ || pendingTriggers_ > 0; });
            if (stopRequested_)
                break;
            --pendingTriggers_;
            auto due = Clock::now() + IntervalDuration(interval);
            if (changed.wait_until(lock, due, [this] { return stopRequested_; }))
                break;
        } else if (source == 2) {
            // Frames of an external trigger come only from VelaSim_DeliverFrames.
            changed.wait(lock, [this] { return stopRequested_; });
            break;
        } else {
            const auto step = IntervalDuration(interval);
            const auto now = Clock::now();
            next += step;
            // A frame more than one interval late (a changed exposure, a loaded machine, a
            // debugger) restarts the cadence instead of producing a burst to catch up.
            if (next + step < now)
                next = now;
            if (changed.wait_until(lock, next, [this] { return stopRequested_; }))
                break;
        }
        Produce(lock, NowSeconds(), true);
    }
    producerRunning_ = false;
    changed.notify_all();
}

int32_t Camera::Deliver(std::unique_lock<std::mutex> &lock, int32_t count)
{
    if (count < 0)
        return VELA_ERR_INVALIDPARAM;
    if (!capturing)
        return VELA_ERR_NOTREADY;
    int32_t delivered = 0;
    while (delivered < count && capturing) {
        AwaitRecorderRoom(lock);
        if (!capturing)
            break;
        double stamp = 0;
        if (manual_) {
            simulatedClock_ += ImageInterval() * bufferGeometry.bundle;
            stamp = simulatedClock_;
        } else {
            stamp = NowSeconds();
        }
        if (!Produce(lock, stamp, false))
            break;
        ++delivered;
    }
    return delivered;
}

int32_t Camera::Wait(std::unique_lock<std::mutex> &lock, uint32_t mask, uint32_t timeoutMs,
                     uint32_t &event)
{
    const uint32_t known = VELA_EVENT_FRAMEREADY | VELA_EVENT_CAPTUREEND | VELA_EVENT_REFERENCE;
    if ((mask & known) == 0)
        return VELA_ERR_INVALIDPARAM;
    if (bufferKind == BufferKind::None && !capturing)
        return VELA_ERR_NOTREADY;
    const uint64_t abortsBefore = abortGeneration_;
    const bool forever = timeoutMs == 0xFFFFFFFFu;
    const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    for (;;) {
        if (abortGeneration_ != abortsBefore)
            return VELA_ERR_ABORT;
        if ((mask & VELA_EVENT_FRAMEREADY) != 0 && framesCaptured > frameEventsSeen_) {
            // Like an auto-reset event: one wait takes every frame that came since the last.
            frameEventsSeen_ = framesCaptured;
            event = VELA_EVENT_FRAMEREADY;
            return VELA_OK;
        }
        if ((mask & VELA_EVENT_REFERENCE) != 0 && referenceFrames_ > referenceEventsSeen_) {
            referenceEventsSeen_ = referenceFrames_;
            event = VELA_EVENT_REFERENCE;
            return VELA_OK;
        }
        if ((mask & VELA_EVENT_CAPTUREEND) != 0 && captureEndPending_) {
            captureEndPending_ = false;
            event = VELA_EVENT_CAPTUREEND;
            return VELA_OK;
        }
        if (model->replay && !replayWanted_) {
            replayWanted_ = true; // a replay paced by the host produces when asked
            changed.notify_all();
        }
        if (manualWaits_) {
            // Under this clock nothing but the caller brings an event, so nothing is waited for.
            if (!forever)
                simulatedClock_ += timeoutMs / 1000.0;
            return VELA_ERR_TIMEOUT;
        }
        if (forever) {
            changed.wait(lock);
        } else if (changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            // One last look: the event may have come with the timeout.
            if (abortGeneration_ == abortsBefore &&
                (((mask & VELA_EVENT_FRAMEREADY) != 0 && framesCaptured > frameEventsSeen_) ||
                 ((mask & VELA_EVENT_REFERENCE) != 0 && referenceFrames_ > referenceEventsSeen_) ||
                 ((mask & VELA_EVENT_CAPTUREEND) != 0 && captureEndPending_)))
                continue;
            return abortGeneration_ != abortsBefore ? VELA_ERR_ABORT : VELA_ERR_TIMEOUT;
        }
    }
}

bool Camera::ReplayEnded()
{
    const ReplayFile *replay = model->replay.get();
    if (!replay || !capturing || Value(kPropReplayEnd, 1) != 2 ||
        ReplayImage() + bufferGeometry.bundle <= static_cast<uint64_t>(replay->Frames()))
        return false;
    capturing = false;
    captureEndPending_ = true;
    changed.notify_all();
    return true;
}

void Camera::ReplayStamp(uint64_t image, FrameSlot &slot) const
{
    const ReplayFile &r = *model->replay;
    const uint64_t n = static_cast<uint64_t>(r.Frames());
    const auto k = static_cast<int64_t>(image % n);
    const uint64_t loop = image / n;
    // The first pass carries the recorded stamps exactly as stored; later passes count on.
    const vlseqfmt::Stamp &s = r.Stamp(k);
    slot.stampSeconds = s.seconds;
    slot.stampMicroseconds = s.microseconds;
    if (loop > 0)
        SplitStamp(r.Seconds(k) + static_cast<double>(loop) * r.LoopSeconds(), slot.stampSeconds,
                   slot.stampMicroseconds);
}

bool Camera::AwaitReplayPace(std::unique_lock<std::mutex> &lock, Clock::time_point &next,
                             double &previous)
{
    if (ReplayEnded())
        return false;
    if (Value(kPropReplayPace, 1) == 2) {
        // As fast as the host takes frames: one frame per wait that found none, so none is
        // overwritten unseen; a snap fills its buffers at once.
        if (startMode == 0)
            return true;
        changed.wait(lock, [this] { return stopRequested_ || !capturing || replayWanted_; });
        replayWanted_ = false;
        previous = NAN;
        return !stopRequested_ && capturing;
    }
    const ReplayFile &r = *model->replay;
    const uint64_t image = ReplayImage();
    const uint64_t n = static_cast<uint64_t>(r.Frames());
    const double t = r.Seconds(static_cast<int64_t>(image % n)) +
                     static_cast<double>(image / n) * r.LoopSeconds();
    const auto now = Clock::now();
    if (isnan(previous)) {
        next = now; // the first frame comes at once
    } else {
        // Stamps that run backwards (or are not numbers) pace as no interval at all.
        const double interval =
            t - previous > 0 ? std::min(t - previous, ReplayFile::kLongestGap) : 0.0;
        const auto step = IntervalDuration(interval);
        next += step;
        if (next + step < now) // as the synthetic cameras: a late frame restarts the cadence
            next = now;
    }
    previous = t;
    return !changed.wait_until(lock, next, [this] { return stopRequested_ || !capturing; });
}

std::shared_ptr<RecorderSink> Camera::ConnectRecorder(std::shared_ptr<RecorderSink> sink)
{
    std::swap(recorder_, sink);
    return sink == recorder_ ? nullptr : sink;
}

void Camera::DisconnectRecorder(const RecorderSink *sink)
{
    if (recorder_.get() == sink)
        recorder_.reset();
}

} // namespace velasim
