#include "core/byte_buffer.h"

#include <cstring>

namespace xemidi {

void ByteBuffer::reallocate(uint32_t n) {
    if (n == 0) {
        if (onHeap()) delete[] heap_;
        capacity_ = 0;
    } else if (n > capacity_) {           // and beyond the inline block
        uint8_t* grown = new uint8_t[n];  // may throw: nothing has changed yet
        if (size_ != 0) std::memcpy(grown, data(), size_);
        if (onHeap()) delete[] heap_;
        heap_ = grown;
        capacity_ = n;
    }
    size_ = n;
}

}  // namespace xemidi
