// A growable byte buffer aligned to 64 bytes, for frames handed out by address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace vlseqfmt {

class AlignedBuffer {
  public:
    // Keeps the current block when it is large enough; false when memory runs out.
    bool Reserve(size_t bytes)
    {
        if (bytes <= size_ && p_)
            return true;
        const size_t n = bytes == 0 ? 1 : bytes;
        auto *raw = static_cast<uint8_t *>(::operator new(n, kAlign, std::nothrow));
        if (!raw)
            return false;
        p_.reset(raw);
        size_ = n;
        return true;
    }
    uint8_t *data() { return p_.get(); }
    void Release()
    {
        p_.reset();
        size_ = 0;
    }

  private:
    static constexpr std::align_val_t kAlign{64};
    struct Free {
        void operator()(uint8_t *p) const { ::operator delete(p, kAlign); }
    };
    std::unique_ptr<uint8_t, Free> p_;
    size_t size_ = 0;
};

} // namespace vlseqfmt
