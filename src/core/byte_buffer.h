// The one container of raw bytes in the library: a block that grows by exact fit.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

namespace xemidi {

class ByteBuffer {
  public:
    // Blocks of up to this many bytes are kept inside the buffer itself:
    // channel messages and short meta events, most of what an object
    // stores, need no heap block of their own. Size and capacity behave the
    // same either way.
    static constexpr uint32_t InlineCapacity = 8;

    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    virtual ~ByteBuffer() {
        if (onHeap()) delete[] heap_;
    }

    // Sets the size to n. Growth makes the capacity exactly n and keeps the
    // bytes in use; shrinking keeps the block; only resize(0) releases it.
    // When the allocation fails, std::bad_alloc leaves the buffer as it was.
    void resize(uint32_t n) {
        if (n != 0 && n <= capacity_) {
            size_ = n;  // the common case inside a pre-sized block
        } else if (n != 0 && n <= InlineCapacity) {
            size_ = capacity_ = n;  // grows in place: the bytes stay where they are
        } else {
            reallocate(n);
        }
    }

    // resize(n), then the n bytes at bytes copied in. Reads bytes[0..n) only.
    void assign(const uint8_t* bytes, uint32_t n) {
        resize(n);
        uint8_t* out = data();
        if (n > InlineCapacity) {
            std::memcpy(out, bytes, n);
        } else if (n >= 4) {  // two 4-byte copies that meet or overlap in the middle
            std::memcpy(out, bytes, 4);
            std::memcpy(out + n - 4, bytes + n - 4, 4);
        } else if (n != 0) {  // 1 to 3 bytes: first, middle and last
            out[0] = bytes[0];
            out[n >> 1] = bytes[n >> 1];
            out[n - 1] = bytes[n - 1];
        }
    }

    // assign() of the bytes in use of another buffer. An inline block is
    // taken over whole: eight bytes, whatever the size.
    void assign(const ByteBuffer& from) {
        if (from.onHeap() || onHeap()) {
            assign(from.data(), from.size_);
            return;
        }
        resize(from.size_);
        std::memcpy(inline_, from.inline_, InlineCapacity);
    }

    // Exchanges the contents of two buffers, blocks and all.
    void swap(ByteBuffer& other) noexcept {
        uint8_t block[sizeof inline_];
        std::memcpy(block, inline_, sizeof block);  // the heap pointer or the inline bytes
        std::memcpy(inline_, other.inline_, sizeof block);
        std::memcpy(other.inline_, block, sizeof block);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }

    // The block, or nullptr when the buffer holds none.
    uint8_t* data() { return onHeap() ? heap_ : capacity_ != 0 ? inline_ : nullptr; }
    const uint8_t* data() const { return onHeap() ? heap_ : capacity_ != 0 ? inline_ : nullptr; }
    // The first byte of a buffer that is not empty.
    uint8_t front() const { return onHeap() ? heap_[0] : inline_[0]; }
    uint32_t size() const { return size_; }
    uint32_t capacity() const { return capacity_; }
    // Whether the block came from the heap.
    bool onHeap() const { return capacity_ > InlineCapacity; }

  private:
    void reallocate(uint32_t n);

    union {
        uint8_t* heap_ = nullptr;
        uint8_t inline_[InlineCapacity];
    };
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
};

}  // namespace xemidi
