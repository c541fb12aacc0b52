// Two adjacent pages: the first readable and writable, the second with no
// access at all. Any read or write that reaches the second page faults, so a
// call that is handed a pointer into it proves that it never dereferences it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace smftest {

class GuardedPages {
  public:
    GuardedPages() {
#ifdef _WIN32
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (base_ == nullptr || !VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old))
            throw std::runtime_error("cannot make a guard page");
#else
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* base =
            mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED || mprotect(static_cast<uint8_t*>(base) + page_, page_, PROT_NONE))
            throw std::runtime_error("cannot make a guard page");
        base_ = static_cast<uint8_t*>(base);
#endif
    }
    GuardedPages(const GuardedPages&) = delete;
    GuardedPages& operator=(const GuardedPages&) = delete;
    ~GuardedPages() {
#ifdef _WIN32
        VirtualFree(base_, 0, MEM_RELEASE);
#else
        munmap(base_, 2 * page_);
#endif
    }

    // The first byte of the inaccessible page.
    uint8_t* guard() const {
        return base_ + page_;
    }
    size_t pageSize() const {
        return page_;
    }

    // Copies bytes to the very end of the readable page, so that reading one
    // byte past them faults; returns where they start.
    uint8_t* atEdge(const void* bytes, size_t count) const {
        uint8_t* start = guard() - count;
        std::memcpy(start, bytes, count);
        return start;
    }

  private:
    uint8_t* base_ = nullptr;
    size_t page_ = 0;
};

}  // namespace smftest
