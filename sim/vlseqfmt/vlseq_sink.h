// Where the writer's bytes go: a real file, or memory with a log of every operation so tests
// can replay any prefix of a recording as a crash would have left it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vlseqfmt {

class Sink {
  public:
    virtual ~Sink() = default;
    // Bytes reach the OS in call order: a later write never lands before an earlier one.
    virtual bool Write(uint64_t offset, const void *data, size_t length) = 0;
    virtual bool Flush() = 0; // hand every write so far to the OS (survives a process crash)
    virtual bool Sync() = 0;  // Flush, then to stable storage (survives a power loss)
    virtual bool Read(uint64_t offset, void *data, size_t length) = 0;
    virtual bool Close() = 0;
};

// nullptr when the file cannot be created.
std::unique_ptr<Sink> OpenFileSink(const char *path);

struct SinkOp {
    enum Kind : uint8_t { kWrite, kFlush, kSync };
    Kind kind = kWrite;
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
};

// The state of a memory "file", shared between the sink that writes it and the test that
// inspects or replays it after the writer is gone.
struct MemoryFile {
    std::vector<uint8_t> image;
    std::vector<SinkOp> ops;
    bool logOps = true;
    size_t opCount = 0;           // operations attempted, logged or not
    size_t failFromOp = SIZE_MAX; // operation number (0-based) from which every one fails
};

class MemorySink final : public Sink {
  public:
    explicit MemorySink(std::shared_ptr<MemoryFile> file) : file_(std::move(file)) {}
    bool Write(uint64_t offset, const void *data, size_t length) override;
    bool Flush() override;
    bool Sync() override;
    bool Read(uint64_t offset, void *data, size_t length) override;
    bool Close() override { return true; }

  private:
    bool Log(SinkOp::Kind kind, uint64_t offset, const void *data, size_t length);
    std::shared_ptr<MemoryFile> file_;
};

// Writes bytes into an image, growing it with zeros as a file would.
void ApplyWrite(std::vector<uint8_t> &image, uint64_t offset, const uint8_t *data, size_t length);
// The file a process crash leaves after the first `count` operations, plus the first `torn`
// bytes of operation `count` when it is a write.
std::vector<uint8_t> ReplayOps(const std::vector<SinkOp> &ops, size_t count, size_t torn = 0);

} // namespace vlseqfmt
