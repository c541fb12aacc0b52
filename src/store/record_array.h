// A growing array of records, one block of the heap. It grows by half its
// size, so that appending costs constant time while at most a third of the
// block stands empty; growth copies the records, which are eight bytes
// each, and never the bytes of the events held out of line.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "store/record.h"

namespace xemidi {

class RecordArray {
  public:
    RecordArray() = default;
    RecordArray(const RecordArray&) = delete;
    RecordArray& operator=(const RecordArray&) = delete;
    ~RecordArray() { delete[] records_; }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    size_t spare() const { return capacity_ - size_; }
    Record* begin() { return records_; }
    Record* end() { return records_ + size_; }
    const Record* begin() const { return records_; }
    const Record* end() const { return records_ + size_; }
    Record& operator[](size_t i) { return records_[i]; }
    const Record& operator[](size_t i) const { return records_[i]; }
    Record& back() { return records_[size_ - 1]; }
    const Record& back() const { return records_[size_ - 1]; }

    // Room for count more records. Throws std::bad_alloc with nothing changed.
    void reserveMore(size_t count) {
        if (capacity_ - size_ < count) reallocate(std::max(size_ + count, size_ + size_ / 2 + 16));
    }
    // Exactly count records' room, the records kept (count >= size()).
    // Throws std::bad_alloc with nothing changed.
    void reallocate(size_t count) {
        Record* grown = new Record[count];
        if (size_ != 0) std::memcpy(grown, records_, size_ * sizeof(Record));
        delete[] records_;
        records_ = grown;
        capacity_ = count;
    }

    // The operations below need room (reserveMore) and never fail.
    void push(Record record) { records_[size_++] = record; }
    // Near the end (the common case) a short loop moves the records after
    // at; a call to memmove costs more.
    void insert(size_t at, Record record) {
        if (size_ - at <= 8) {
            for (size_t i = size_; i > at; --i) records_[i] = records_[i - 1];
        } else {
            std::memmove(records_ + at + 1, records_ + at, (size_ - at) * sizeof(Record));
        }
        records_[at] = record;
        ++size_;
    }
    Record pop() { return records_[--size_]; }
    // Sets the size, within the capacity: records beyond the old size are
    // whatever the caller wrote there.
    void setSize(size_t size) { size_ = size; }
    void clear() { size_ = 0; }

    // Gives back a block larger than keep records while the array is empty.
    void releaseIfEmpty(size_t keep) {
        if (size_ == 0 && capacity_ > keep) {
            delete[] std::exchange(records_, nullptr);
            capacity_ = 0;
        }
    }
    void swap(RecordArray& other) noexcept {
        std::swap(records_, other.records_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }

  private:
    Record* records_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

}  // namespace xemidi
