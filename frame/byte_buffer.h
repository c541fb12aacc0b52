// The one container of raw bytes in the library: a block that grows by exact fit.
#pragma once

#include <cstdint>

namespace xemidi {

class ByteBuffer {
  public:
    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    virtual ~ByteBuffer() { delete[] data_; }

    // Sets the size to n. Growth allocates exactly n bytes and keeps the old
    // contents; shrinking keeps the block; only resize(0) releases it. When
    // the allocation fails, std::bad_alloc leaves the buffer as it was.
    void resize(uint32_t n) {
        if (n != 0 && n <= capacity_) {
            size_ = n;  // the common case inside a pre-sized block
        } else {
            reallocate(n);
        }
    }

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    uint32_t size() const { return size_; }
    uint32_t capacity() const { return capacity_; }

  private:
    void reallocate(uint32_t n);

    uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
};

}  // namespace xemidi
