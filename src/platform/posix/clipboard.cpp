// A clipboard inside the process, for systems without the Win32 one: named
// formats, one owner at a time, and blocks that it owns once they are set.
// The host reads it through the functions of xemidi_clipboard.h.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/c_boundary.h"
#include "platform/posix/posix_system.h"
#include "xemidi_clipboard.h"

namespace xemidi::sys {

namespace {

constexpr uint32_t FirstFormat = 0xC000;

// A movable global memory block: its size, then its bytes.
struct Block {
    uint32_t size;
    alignas(std::max_align_t) unsigned char bytes[1];
};

Block* asBlock(MemoryHandle handle) {
    return static_cast<Block*>(handle);
}

// ASCII letters only, whatever the host's locale: under a Turkish one
// std::tolower('I') is not 'i', and a single-byte locale folds bytes above
// 0x7F as well.
char foldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Format names compare without regard to ASCII case, as Win32 atoms do.
bool sameName(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i])) return false;
    }
    return true;
}

enum class Owner { None, Library, Host };

struct Clipboard {
    Clipboard() = default;
    Clipboard(const Clipboard&) = delete;
    Clipboard& operator=(const Clipboard&) = delete;
    ~Clipboard() { empty(); }

    void empty() {
        for (auto& entry : contents) std::free(entry.second);
        contents.clear();
    }

    uint32_t format(const char* name) {
        if (name == nullptr || *name == '\0') return 0;
        for (size_t i = 0; i < names.size(); ++i) {
            if (sameName(names[i], name)) return FirstFormat + static_cast<uint32_t>(i);
        }
        if (names.size() >= 0x4000) return 0;
        names.emplace_back(name);
        return FirstFormat + static_cast<uint32_t>(names.size() - 1);
    }

    Block* find(uint32_t format) {
        for (auto& entry : contents) {
            if (entry.first == format) return asBlock(entry.second);
        }
        return nullptr;
    }

    std::vector<std::string> names;
    std::vector<std::pair<uint32_t, MemoryHandle>> contents;
    Owner owner = Owner::None;
};

// Made when the library is loaded, destroyed by tearDownClipboard() with the
// library's other state (never by a static destructor, so that a late call
// finds no clipboard rather than a destroyed one). Null after that.
alignas(Clipboard) unsigned char BoardMemory[sizeof(Clipboard)];
Clipboard* Board = new (BoardMemory) Clipboard;

bool ownedBy(Owner owner) {
    return Board != nullptr && Board->owner == owner;
}

}  // namespace

void tearDownClipboard() {
    if (Board != nullptr) std::exchange(Board, nullptr)->~Clipboard();
}

// Throws std::bad_alloc when the name cannot be stored.
uint32_t posixRegisterClipboardFormat(const char* name) {
    return Board != nullptr ? Board->format(name) : 0;
}

int posixOpenClipboard() {
    if (!ownedBy(Owner::None)) return 0;
    Board->owner = Owner::Library;
    return 1;
}

int posixEmptyClipboard() {
    if (!ownedBy(Owner::Library)) return 0;
    Board->empty();
    return 1;
}

int posixSetClipboardData(uint32_t format, MemoryHandle block) {
    if (!ownedBy(Owner::Library) || format == 0 || block == nullptr) return 0;
    return guarded([&] {
        for (auto& entry : Board->contents) {
            if (entry.first == format) {
                std::free(entry.second);
                entry.second = block;
                return 1;
            }
        }
        Board->contents.emplace_back(format, block);
        return 1;
    });
}

int posixCloseClipboard() {
    if (!ownedBy(Owner::Library)) return 0;
    Board->owner = Owner::None;
    return 1;
}

MemoryHandle posixGlobalAlloc(uint32_t size) {
    auto* block = static_cast<Block*>(std::calloc(1, offsetof(Block, bytes) + size));
    if (block != nullptr) block->size = size;
    return block;
}

void* posixGlobalLock(MemoryHandle block) {
    return block ? asBlock(block)->bytes : nullptr;
}

int posixGlobalUnlock(MemoryHandle block) {
    return block != nullptr;
}

MemoryHandle posixGlobalFree(MemoryHandle block) {
    std::free(block);
    return nullptr;
}

}  // namespace xemidi::sys

using namespace xemidi::sys;

int XEMIDI_CALL xemidi_clipboard_open(void) {
    if (!ownedBy(Owner::None)) return 0;
    Board->owner = Owner::Host;
    return 1;
}

int XEMIDI_CALL xemidi_clipboard_close(void) {
    if (!ownedBy(Owner::Host)) return 0;
    Board->owner = Owner::None;
    return 1;
}

uint32_t XEMIDI_CALL xemidi_clipboard_format(const char* name) {
    return xemidi::guarded([&] { return posixRegisterClipboardFormat(name); });
}

const void* XEMIDI_CALL xemidi_clipboard_data(uint32_t format, uint32_t* size) {
    if (!ownedBy(Owner::Host)) return nullptr;
    const Block* block = Board->find(format);
    if (block == nullptr) return nullptr;
    if (size != nullptr) *size = block->size;
    return block->bytes;
}
