// Storage for the nodes of one object's event list. Nodes are carved from
// blocks taken from the heap as the list grows (16 nodes, then each block
// twice the last, up to MaxBlockSlots nodes) and all blocks are returned
// when the object goes. Events never leave a list one by one, so a node given back
// (a group that ran out of memory, the list's own destruction) simply waits
// on a free list for the next insertion.
#pragma once

#include <cstddef>
#include <new>

namespace xemidi {

template <size_t NodeSize, size_t NodeAlign>
class NodePool {
  public:
    static constexpr size_t SlotSize = NodeSize;
    static constexpr size_t SlotAlign = NodeAlign;

    NodePool() = default;
    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;
    ~NodePool() {
        while (blocks_ != nullptr) {
            Block* next = blocks_->next;
            ::operator delete(blocks_);
            blocks_ = next;
        }
    }

    // Room for one node. Throws std::bad_alloc with nothing changed.
    void* take() {
        if (free_ != nullptr) {
            Free* slot = free_;
            free_ = slot->next;
            return slot;
        }
        if (unused_ == end_) addBlock();
        void* slot = unused_;
        unused_ += Slot;
        return slot;
    }

    void give(void* slot) { free_ = new (slot) Free{free_}; }

    // Whether take() can answer without a new block.
    bool hasSpare() const { return free_ != nullptr || unused_ != end_; }

  private:
    struct Free {
        Free* next;
    };
    struct Block {
        Block* next;
    };
    static constexpr size_t MaxBlockSlots = 4096;
    static constexpr size_t round(size_t n, size_t to) { return (n + to - 1) / to * to; }
    static constexpr size_t Align = SlotAlign > alignof(Free) ? SlotAlign : alignof(Free);
    static constexpr size_t Slot = round(SlotSize > sizeof(Free) ? SlotSize : sizeof(Free), Align);
    static constexpr size_t Header = round(sizeof(Block), Align);
    static_assert(Align <= alignof(std::max_align_t), "blocks come from operator new");

    void addBlock() {
        const size_t slots = nextSlots_;
        auto* block = static_cast<Block*>(::operator new(Header + slots * Slot));
        block->next = blocks_;
        blocks_ = block;
        unused_ = reinterpret_cast<unsigned char*>(block) + Header;
        end_ = unused_ + slots * Slot;
        if (nextSlots_ < MaxBlockSlots) nextSlots_ *= 2;
    }

    Free* free_ = nullptr;
    Block* blocks_ = nullptr;
    unsigned char* unused_ = nullptr;  // the current block's nodes not handed out yet
    unsigned char* end_ = nullptr;
    size_t nextSlots_ = 16;
};

// A list allocator drawing single nodes from a NodePool. Anything else (a
// node type larger than the pool's slots, an array) comes from operator new.
// Two allocators are equal when they share a pool, so nodes move by splice
// only between lists of one object.
template <class T, class Pool>
class PoolAllocator {
  public:
    using value_type = T;

    explicit PoolAllocator(Pool* pool) : pool_(pool) {}
    template <class U>
    PoolAllocator(const PoolAllocator<U, Pool>& other) : pool_(other.pool()) {}

    T* allocate(size_t n) {
        if (fitsSlot(n)) return static_cast<T*>(pool_->take());
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) {
        if (fitsSlot(n)) {
            pool_->give(p);
        } else {
            ::operator delete(p);
        }
    }

    Pool* pool() const { return pool_; }
    template <class U>
    bool operator==(const PoolAllocator<U, Pool>& o) const {
        return pool_ == o.pool();
    }
    template <class U>
    bool operator!=(const PoolAllocator<U, Pool>& o) const {
        return pool_ != o.pool();
    }

  private:
    static bool fitsSlot(size_t n) {
        return n == 1 && sizeof(T) <= Pool::SlotSize && alignof(T) <= Pool::SlotAlign;
    }

    Pool* pool_;
};

}  // namespace xemidi
