// The stdio file sink and the memory sink. Appends go through the stream's buffer; a write
// elsewhere first hands the buffered appends to the OS (a positioned write after fflush, or
// fseek where the OS has no positioned write), which is what keeps a patched link or commit
// record from overtaking the chunk it points to.
#include "vlseq_sink.h"

#include "vlseq_file_io.h"

#include <cstdio>
#include <cstring>

namespace vlseqfmt {
namespace {

class FileSink final : public Sink {
  public:
    explicit FileSink(FILE *f) : f_(f) { std::setvbuf(f_, nullptr, _IOFBF, 1 << 16); }
    ~FileSink() override { Close(); }
    bool Write(uint64_t offset, const void *data, size_t length) override
    {
        if (!f_)
            return false;
        if (fileio::kWritesAt && known_ && !lastWasRead_ && offset != pos_) {
            // A patch behind the appends (a link, a commit record): the appends reach the OS
            // first, then the patch, and the stream stays where the appends go on. A seek
            // would make the C library read back the block around the patch, and seek back.
            return std::fflush(f_) == 0 && fileio::WriteAt(f_, offset, data, length);
        }
        if (!Position(offset))
            return false;
        lastWasRead_ = false;
        if (length != 0 && std::fwrite(data, 1, length, f_) != length) {
            known_ = false;
            return false;
        }
        pos_ += length;
        return true;
    }
    bool Flush() override { return f_ && std::fflush(f_) == 0; }
    bool Sync() override { return Flush() && fileio::SyncToDisk(f_); }
    bool Read(uint64_t offset, void *data, size_t length) override
    {
        // An update stream must be flushed or repositioned between output and input.
        if (!f_ || std::fflush(f_) != 0 || !fileio::Seek(f_, offset)) {
            known_ = false;
            return false;
        }
        lastWasRead_ = true;
        pos_ = offset;
        if (std::fread(data, 1, length, f_) != length) {
            known_ = false;
            return false;
        }
        pos_ += length;
        return true;
    }
    bool Close() override
    {
        if (!f_)
            return true;
        const bool ok = std::fclose(f_) == 0;
        f_ = nullptr;
        return ok;
    }

  private:
    bool Position(uint64_t offset)
    {
        if (known_ && !lastWasRead_ && offset == pos_)
            return true;
        if (!fileio::Seek(f_, offset)) {
            known_ = false;
            return false;
        }
        known_ = true;
        pos_ = offset;
        return true;
    }
    FILE *f_;
    uint64_t pos_ = 0;
    bool known_ = true;
    bool lastWasRead_ = false;
};

} // namespace

std::unique_ptr<Sink> OpenFileSink(const char *path)
{
    FILE *f = path ? fileio::OpenForUpdate(path) : nullptr;
    if (!f)
        return nullptr;
    return std::make_unique<FileSink>(f);
}

void ApplyWrite(std::vector<uint8_t> &image, uint64_t offset, const uint8_t *data, size_t length)
{
    const auto at = static_cast<size_t>(offset);
    if (image.size() < at + length)
        image.resize(at + length);
    if (length != 0)
        std::memcpy(image.data() + at, data, length);
}

bool MemorySink::Log(SinkOp::Kind kind, uint64_t offset, const void *data, size_t length)
{
    if (file_->opCount++ >= file_->failFromOp)
        return false;
    if (file_->logOps) {
        SinkOp op;
        op.kind = kind;
        op.offset = offset;
        const auto *p = static_cast<const uint8_t *>(data);
        op.bytes.assign(p, p + length);
        file_->ops.push_back(std::move(op));
    }
    return true;
}

bool MemorySink::Write(uint64_t offset, const void *data, size_t length)
{
    if (!Log(SinkOp::kWrite, offset, data, length))
        return false;
    ApplyWrite(file_->image, offset, static_cast<const uint8_t *>(data), length);
    return true;
}

bool MemorySink::Flush()
{
    return Log(SinkOp::kFlush, 0, nullptr, 0);
}

bool MemorySink::Sync()
{
    return Log(SinkOp::kSync, 0, nullptr, 0);
}

bool MemorySink::Read(uint64_t offset, void *data, size_t length)
{
    const auto &img = file_->image;
    if (offset > img.size() || length > img.size() - offset)
        return false;
    std::memcpy(data, img.data() + offset, length);
    return true;
}

std::vector<uint8_t> ReplayOps(const std::vector<SinkOp> &ops, size_t count, size_t torn)
{
    std::vector<uint8_t> image;
    for (size_t i = 0; i < count && i < ops.size(); ++i)
        if (ops[i].kind == SinkOp::kWrite)
            ApplyWrite(image, ops[i].offset, ops[i].bytes.data(), ops[i].bytes.size());
    if (count < ops.size() && ops[count].kind == SinkOp::kWrite && torn != 0) {
        const SinkOp &op = ops[count];
        ApplyWrite(image, op.offset, op.bytes.data(),
                   torn < op.bytes.size() ? torn : op.bytes.size());
    }
    return image;
}

} // namespace vlseqfmt
