// Recorders: .vlseq files that a capture writes its frames into as they are produced. The file
// is created when the recorder is connected to a device, because only then is the frame
// geometry known; texts written before that are kept and written then. The producer only copies
// each image into a ring of slots allocated at the connection; a writer thread per connected
// recorder appends them to the file, and the producer waits while the ring is full, so frames
// are not dropped or reordered and the capture slows only when the disk cannot keep up
// (sim_recorder_test.cpp), unless the camera's back-pressure is off: then an image that finds
// the ring full is dropped and the file records the gap; a process ending on Windows may lose what
// the ring held then (recorder_exit_test.cpp). Texts join the same queue, so neither the host nor
// the capture waits for the disk to write them.
#pragma once

#include <stdint.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recorder_sink.h"
#include "sim_camera.h"
#include "vlseq_writer.h"

namespace velasim {

// A slow disk: each frame a writer thread writes waits this long first (0 to 1 s, else
// VELA_ERR_INVALIDPARAM). Process-wide, back to 0 with VelaSim_Reset.
int32_t SetRecorderWriteDelay(int32_t microseconds);

// Three locks, taken in this order and never with a camera's lock held: `life` while the
// writer thread starts or ends or the file is replaced; `io` around every use of the writer,
// which the writer thread holds only while it writes; `mutex` around the queue. The producer
// and the texts need only `mutex`, so they never wait on the disk except for room in the ring.
class Recorder final : public RecorderSink {
  public:
    ~Recorder() override;

    // Set by VelaRecorderOpen, constant afterwards.
    std::string path;
    uint32_t maxFrames = 0, fileTextCapacity = 0, frameTextCapacity = 0;
    int64_t frameLimit = 0; // the file's maximum: frames beyond it are not taken
    bool buffered = false;
    bool probeCreated = false; // the file did not exist before VelaRecorderOpen

    std::mutex life;

    std::mutex io;
    vlseqfmt::Writer writer;
    bool everOpened = false;
    Geometry geometry; // of the frames the file takes

    std::mutex mutex;
    std::condition_variable changed;
    std::weak_ptr<Camera> camera;

    // Opens the file for frames of geometry g, or checks that the open file takes them. The
    // writer thread is stopped first when the file is replaced. Caller holds life.
    int32_t OpenFor(const Geometry &g, uint32_t deviceDataType);

    // Closes the file once the writer thread is stopped. Caller holds life.
    int32_t CloseFile();

    // Stores a text after every frame handed over before it: queued while the writer thread
    // runs or anything waits, written at once otherwise, kept for the file while there is none.
    // The refusals are the writer's, made here because a queued text is written later.
    int32_t Text(uint32_t level, int32_t index, const void *text, uint32_t length);

    // Allocates the ring for images of geometry g (the open file's) unless it has it, and
    // starts the writer thread unless it runs. Caller holds life.
    int32_t StartWriter(const Geometry &g);

    // Takes no more images, lets the writer thread write what is queued and joins it. Caller
    // holds life.
    void StopWriter();

    void ReleaseRing();

    bool WriterRunning();

    // The writer thread's failure once it had one, VELA_OK before.
    int32_t Error();

    // Frames handed over so far, all of which the closed file will hold; after a write error,
    // the frames the file got.
    int64_t Accepted();

    // Waits until the first `frames` frames are in the file. VELA_OK or the writer thread's
    // error.
    int32_t Drain(int64_t frames);

    void AwaitRoom(uint32_t images) override;

    void Append(const uint8_t *frame, const Geometry &g, uint32_t seconds, int32_t microseconds,
                uint64_t firstImage, bool mayWait) override;

    void Lost(uint32_t images) override;

    // Images dropped for want of room and lost before reaching the recorder, so far.
    void LedgerCounts(uint64_t &dropped, uint64_t &lost);

    void Detach() override;

  private:
    struct QueuedImage {
        bool ready = false; // copied in; the producer fills a slot without the lock
        uint32_t seconds = 0;
        int32_t microseconds = 0;
        vlseqfmt::LedgerEntry ledger;
    };
    struct QueuedText {
        uint64_t before; // the queued image it goes before
        uint32_t level;
        int32_t index;
        std::vector<uint8_t> bytes;
    };

    bool Accepting() const { return accepting_ && error_ == 0 && accepted_ < frameLimit; }
    uint64_t Room() const { return slotCount_ - (head_ - tail_); }
    bool NextReady() const { return tail_ < head_ && images_[tail_ % slotCount_].ready; }
    bool TextDue() const { return !texts_.empty() && texts_.front().before <= tail_; }

    // The ledger of an image taken into the queue; caller holds mutex.
    vlseqfmt::LedgerEntry Keep(uint64_t number);

    // Writes the next queued text. Caller holds mutex through `lock`, and io when ioHeld.
    void WriteNextText(std::unique_lock<std::mutex> &lock, bool ioHeld);

    void WriterLoop();

    // The process is ending on Windows: the writer thread is gone, perhaps in the middle of a
    // frame or holding a lock. What it left is written when nothing stands in the way; nothing
    // is waited for.
    void EndWithProcess();

    // After the join the queue is normally empty. It is not when the thread was ended from
    // outside: on Windows the threads are gone before the exit handlers close the devices. The
    // queue is then written here, unless the thread died inside the writer: the writer (and its
    // stream) may be half-way through a frame, so the queued frames are given up instead.
    void WriteLeftovers();

    // The queue: images head_ - tail_ wait in slots tail_ % slotCount_ onwards.
    std::unique_ptr<uint8_t[]> ring_;
    std::vector<QueuedImage> images_;
    uint64_t slotCount_ = 0, slotBytes_ = 0;
    uint64_t head_ = 0, tail_ = 0;
    int64_t rowBytes_ = 0;
    Geometry acceptGeometry_;
    bool accepting_ = false;
    bool stop_ = false;
    std::thread thread_;
    bool writerEnded_ = true;         // the writer thread left its loop (it may still be ending)
    std::deque<QueuedText> texts_;    // in the order written, each before its image
    bool textInFlight_ = false;       // taken from texts_ by the writer thread, not yet written
    std::vector<QueuedText> pending_; // written before the file existed
    bool fileOpen_ = false;
    int64_t accepted_ = 0, written_ = 0; // frames of the open file
    int32_t error_ = 0;                  // the writer thread's failure; it stops every append
    // Since the last image taken: images dropped, and images lost before the recorder saw them.
    uint64_t pendingDropped_ = 0, pendingLost_ = 0;
    uint64_t droppedTotal_ = 0, lostTotal_ = 0;
    bool kept_ = false;     // an image was taken since the file was opened
    uint64_t lastKept_ = 0; // its number
    // Stores the numbers missing after the last image for the close or checkpoint that follows.
    // Caller holds io.
    void NoteTrailingGap();
};

} // namespace velasim
