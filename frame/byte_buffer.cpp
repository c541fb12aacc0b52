#include "frame/byte_buffer.h"

#include <cstring>

namespace xemidi {

void ByteBuffer::reallocate(uint32_t n) {
    if (n == 0) {
        delete[] data_;
        data_ = nullptr;
        capacity_ = 0;
    } else if (n > capacity_) {
        uint8_t* grown = new uint8_t[n];  // may throw: nothing has changed yet
        if (size_ != 0) std::memcpy(grown, data_, size_);
        delete[] data_;
        data_ = grown;
        capacity_ = n;
    }
    size_ = n;
}

}  // namespace xemidi
