// Replaces entries of the system-call table for one test, to make a file or
// clipboard call fail on purpose and to count the calls made.
#pragma once

#include <gtest/gtest.h>

#include <new>

#include "platform/system.h"

namespace smftest {

struct SystemCounts {
    int registrations = 0, opens = 0, allocations = 0, frees = 0, closes = 0, sets = 0;
};

// Which call fails; None leaves every call native.
enum class Fail {
    None,
    CreateFile,
    WriteFile,
    ShortWrite,
    CloseFile,
    Register,
    RegisterOutOfMemory,
    Open,
    Alloc,
    Lock,
    Set
};

class FakeSystem {
  public:
    explicit FakeSystem(Fail fail) {
        failing() = fail;
        counts() = {};
        auto& table = xemidi::sys::systemCalls();
        table.createFile = [](const char* p, uint32_t d, uint32_t f, bool* created) {
            *created = false;
            return failing() == Fail::CreateFile ? xemidi::sys::InvalidFile
                                                 : native().createFile(p, d, f, created);
        };
        table.writeFile = [](xemidi::sys::FileHandle h, const void* b, uint32_t n, uint32_t* w) {
            if (failing() == Fail::WriteFile) return 0;
            return native().writeFile(h, b, failing() == Fail::ShortWrite ? n - 1 : n, w);
        };
        table.closeFile = [](xemidi::sys::FileHandle h) {
            ++counts().closes;
            const int closed = native().closeFile(h);
            return failing() == Fail::CloseFile ? 0 : closed;
        };
        table.registerClipboardFormat = [](const char* name) {
            ++counts().registrations;
            if (failing() == Fail::RegisterOutOfMemory) throw std::bad_alloc();
            return failing() == Fail::Register ? 0u : native().registerClipboardFormat(name);
        };
        table.openClipboard = [] {
            ++counts().opens;
            return failing() == Fail::Open ? 0 : native().openClipboard();
        };
        table.globalAlloc = [](uint32_t size) -> xemidi::sys::MemoryHandle {
            if (failing() == Fail::Alloc) return nullptr;
            ++counts().allocations;
            return native().globalAlloc(size);
        };
        table.globalLock = [](xemidi::sys::MemoryHandle block) {
            return failing() == Fail::Lock ? nullptr : native().globalLock(block);
        };
        table.globalFree = [](xemidi::sys::MemoryHandle block) {
            ++counts().frees;
            return native().globalFree(block);
        };
        table.setClipboardData = [](uint32_t format, xemidi::sys::MemoryHandle block) {
            ++counts().sets;
            return failing() == Fail::Set ? 0 : native().setClipboardData(format, block);
        };
    }
    ~FakeSystem() { xemidi::sys::systemCalls() = native(); }
    FakeSystem(const FakeSystem&) = delete;
    FakeSystem& operator=(const FakeSystem&) = delete;

    static SystemCounts& counts() {
        static SystemCounts value;
        return value;
    }

  private:
    static Fail& failing() {
        static Fail value = Fail::None;
        return value;
    }
    static const xemidi::sys::SystemCalls& native() { return xemidi::sys::nativeSystemCalls(); }
};

}  // namespace smftest
