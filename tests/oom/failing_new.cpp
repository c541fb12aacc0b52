#include "oom/failing_new.h"

#include <malloc.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

namespace oomtest {
namespace {

long liveCount = 0;
std::size_t bytesInUse = 0, mostBytesInUse = 0;
long countdown = 0;  // 0: nothing armed
bool failAfter = false;
long failures = 0;

bool failNow() {
    if (countdown == 0) return false;
    if (countdown > 1) {
        --countdown;
        return false;
    }
    ++failures;
    if (!failAfter) countdown = 0;
    return true;
}

void* allocate(std::size_t size, std::size_t alignment) noexcept {
    if (failNow()) return nullptr;
    if (size == 0) size = 1;
    void* block =
        alignment <= alignof(std::max_align_t)
            ? std::malloc(size)
            : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (block != nullptr) {
        ++liveCount;
        bytesInUse += malloc_usable_size(block);
        mostBytesInUse = std::max(mostBytesInUse, bytesInUse);
    }
    return block;
}

void* allocateOrThrow(std::size_t size, std::size_t alignment) {
    void* block = allocate(size, alignment);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void release(void* block) noexcept {
    if (block == nullptr) return;
    --liveCount;
    bytesInUse -= malloc_usable_size(block);
    std::free(block);
}

}  // namespace

void failAllocation(long n, bool andAfter) {
    countdown = n;
    failAfter = andAfter;
    failures = 0;
}

long stopFailingAllocations() {
    countdown = 0;
    return failures;
}

long liveBlocks() {
    return liveCount;
}

std::size_t liveBytes() {
    return bytesInUse;
}

std::size_t peakBytes() {
    return std::exchange(mostBytesInUse, bytesInUse);
}

}  // namespace oomtest

using oomtest::allocate;
using oomtest::allocateOrThrow;
using oomtest::release;
using std::align_val_t;
using std::nothrow_t;
using std::size_t;

constexpr size_t Plain = 0;
constexpr size_t al(align_val_t a) {
    return static_cast<size_t>(a);
}

void* operator new(size_t n) {
    return allocateOrThrow(n, Plain);
}
void* operator new[](size_t n) {
    return allocateOrThrow(n, Plain);
}
void* operator new(size_t n, const nothrow_t&) noexcept {
    return allocate(n, Plain);
}
void* operator new[](size_t n, const nothrow_t&) noexcept {
    return allocate(n, Plain);
}
void* operator new(size_t n, align_val_t a) {
    return allocateOrThrow(n, al(a));
}
void* operator new[](size_t n, align_val_t a) {
    return allocateOrThrow(n, al(a));
}
void* operator new(size_t n, align_val_t a, const nothrow_t&) noexcept {
    return allocate(n, al(a));
}
void* operator new[](size_t n, align_val_t a, const nothrow_t&) noexcept {
    return allocate(n, al(a));
}

void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, size_t) noexcept {
    release(p);
}
void operator delete[](void* p, size_t) noexcept {
    release(p);
}
void operator delete(void* p, const nothrow_t&) noexcept {
    release(p);
}
void operator delete[](void* p, const nothrow_t&) noexcept {
    release(p);
}
void operator delete(void* p, align_val_t) noexcept {
    release(p);
}
void operator delete[](void* p, align_val_t) noexcept {
    release(p);
}
void operator delete(void* p, size_t, align_val_t) noexcept {
    release(p);
}
void operator delete[](void* p, size_t, align_val_t) noexcept {
    release(p);
}
void operator delete(void* p, align_val_t, const nothrow_t&) noexcept {
    release(p);
}
void operator delete[](void* p, align_val_t, const nothrow_t&) noexcept {
    release(p);
}
