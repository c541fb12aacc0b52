// The events of one object that are too long for their record (more than
// three bytes: system-exclusive messages, most meta events, channel messages
// given with extra bytes). Each has a block of its own, allocated once at
// its exact size and written in place by its inserter, and is known by its
// number, which its record holds. Records move as the store grows, sorts and
// merges; the blocks never do. Numbers are never reused: events only leave
// with their object.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "store/record.h"

namespace xemidi {

// A block being filled, owned until LongEvents adopts it.
class LongBlock {
  public:
    // Throws std::bad_alloc.
    explicit LongBlock(uint32_t size) : block_(new uint8_t[Header + size]) {
        std::memcpy(block_.get(), &size, Header);
    }
    uint8_t* bytes() { return block_.get() + Header; }
    uint32_t size() const {
        uint32_t size = 0;
        std::memcpy(&size, block_.get(), Header);
        return size;
    }

  private:
    friend class LongEvents;
    static constexpr uint32_t Header = sizeof(uint32_t);  // the size, then the bytes
    std::unique_ptr<uint8_t[]> block_;
};

class LongEvents {
  public:
    LongEvents() = default;
    LongEvents(const LongEvents&) = delete;
    LongEvents& operator=(const LongEvents&) = delete;
    ~LongEvents() { clear(); }

    uint32_t count() const { return static_cast<uint32_t>(blocks_.size()); }

    const uint8_t* bytes(uint32_t index) const { return blocks_[index] + LongBlock::Header; }
    uint32_t size(uint32_t index) const {
        uint32_t size = 0;
        std::memcpy(&size, blocks_[index], LongBlock::Header);
        return size;
    }

    // Takes block as the event numbered count(). Throws std::bad_alloc, the
    // block still the caller's, when no number or no memory is left.
    uint32_t adopt(LongBlock& block) {
        if (blocks_.size() == MaxLongEvents) throw std::bad_alloc();
        blocks_.push_back(block.block_.get());
        block.block_.release();
        return count() - 1;
    }
    // Frees the event adopted last (one that could not be placed after all).
    void dropLast() {
        delete[] blocks_.back();
        blocks_.pop_back();
    }

    // Makes this a copy of other, block by block (this holds none). Throws
    // std::bad_alloc with nothing held.
    void copyFrom(const LongEvents& other) {
        try {
            blocks_.reserve(other.blocks_.size());
            for (uint32_t i = 0; i < other.count(); ++i) {
                LongBlock block(other.size(i));
                std::memcpy(block.bytes(), other.bytes(i), other.size(i));
                adopt(block);
            }
        } catch (...) {
            clear();
            throw;
        }
    }

  private:
    void clear() {
        for (uint8_t* block : blocks_) delete[] block;
        blocks_.clear();
    }

    std::vector<uint8_t*> blocks_;
};

}  // namespace xemidi
