#include "objects/registry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <list>
#include <memory>
#include <new>
#include <unordered_map>
#include <utility>

#include "core/c_boundary.h"

// The process-wide state of the library, all of it. None of it is locked:
// the host serialises every call.
//   Registry (here)         the live objects, an index of their addresses,
//                           the one found last, and the memory of the last
//                           RetiredObjects deleted ones: handles are
//                           addresses, and every call checks its handle.
//                           Torn down when the library is unloaded.
//   smfClipboardFormat and  the clipboard format, registered by the first
//   its flag (writer/       CopyToClipboard and kept: a format is registered
//   output.cpp)             once per process.
//   systemCalls()           the table of system calls in use: the native one
//   (platform/)             unless a test replaced an entry.
//   Board (platform/posix/  outside Windows, the clipboard itself, which the
//   clipboard.cpp)          process shares as a desktop shares Win32's; torn
//                           down with the registry (platform/posix/unload.cpp).
// Everything else lives in an object (its events) or in one call.

namespace xemidi {

namespace {

// "xeMidi", its terminator and the spare byte, all eight compared at once:
// as one 64-bit word, which every target loads and compares inline (a
// memcmp is a call of its own where the compiler does not expand it, as in
// WebAssembly, and cost as much as the rest of a handle check).
constexpr char Signature[8] = "xeMidi";

uint64_t wordOf(const char (&bytes)[8]) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Live objects in creation order, with an index of their addresses, so
// that a handle check costs the same however many objects live. The
// registry owns them; whatever is left when it is torn down is freed by its
// destructor.
//
// A deleted object's memory is kept back from the heap while the next
// RetiredObjects objects are deleted: no new object can take the address of
// a recently deleted one, so a host's second DeleteSmf, or a late use, of
// an old handle is refused instead of reaching a newer object.
class HandleRegistry {
  public:
    HandleRegistry() = default;
    HandleRegistry(const HandleRegistry&) = delete;
    HandleRegistry& operator=(const HandleRegistry&) = delete;
    ~HandleRegistry() {
        for (SmfObject* object : objects_) delete object;
        for (void* memory : retired_) ::operator delete(memory);
    }

    SmfObject* find(SmfHandle handle) {
        // Hosts call on one object many times in a row: the last one found
        // is tried first.
        if (last_ != nullptr && handleOf(last_) == handle) return last_;
        const auto found = index_.find(handle);
        if (found == index_.end()) return nullptr;
        return last_ = *found->second;
    }

    // Registers object, which is not registered. Throws std::bad_alloc with
    // nothing registered.
    void add(SmfObject* object) {
        const auto node = objects_.insert(objects_.end(), object);
        try {
            index_.emplace(handleOf(object), node);
        } catch (...) {
            objects_.erase(node);
            throw;
        }
    }

    // Unregisters and destroys a registered object, keeping its memory back.
    void destroy(SmfObject* object) {
        unregister(object);
        object->~SmfObject();
        void*& oldest = retired_[nextRetired_];
        ::operator delete(oldest);
        oldest = object;
        nextRetired_ = (nextRetired_ + 1) % RetiredObjects;
    }

    // Unregisters and frees a registered object whose handle no caller has
    // seen: nobody can hold it, so its memory goes straight back.
    void discard(SmfObject* object) {
        unregister(object);
        delete object;
    }

    uint32_t count() const { return static_cast<uint32_t>(objects_.size()); }
    size_t retired() const {
        return static_cast<size_t>(std::count_if(std::begin(retired_), std::end(retired_),
                                                 [](void* memory) { return memory != nullptr; }));
    }

  private:
    void unregister(SmfObject* object) {
        const auto found = index_.find(handleOf(object));
        objects_.erase(found->second);
        index_.erase(found);
        if (last_ == object) last_ = nullptr;
    }

    std::list<SmfObject*> objects_;
    std::unordered_map<SmfHandle, std::list<SmfObject*>::iterator> index_;
    SmfObject* last_ = nullptr;  // the object found last, while it lives
    void* retired_[RetiredObjects] = {};
    size_t nextRetired_ = 0;
};

// Made when the library is loaded and destroyed only by tearDownRegistry(),
// never by a static destructor: on Windows those run at the process's end
// too, when nothing should be freed; and a call that comes after the
// teardown (from an exit handler that the host registered before it loaded
// the library) must find no registry rather than a destroyed one. Null
// before it is made and after it is torn down.
alignas(HandleRegistry) unsigned char RegistryMemory[sizeof(HandleRegistry)];
HandleRegistry* Registry = new (RegistryMemory) HandleRegistry;

}  // namespace

SmfObject::SmfObject(uint16_t ticksPerQuarter) : division(ticksPerQuarter) {
    std::memcpy(signature, Signature, sizeof signature);
}

SmfObject* validateHandle(SmfHandle handle) {
    // Only a registered address is ever read: a wild, stale or foreign
    // value is refused without touching the memory it points at.
    SmfObject* object = Registry != nullptr ? Registry->find(handle) : nullptr;
    if (object == nullptr) return nullptr;
    // A registered address always holds the signature; checking it keeps
    // the object's identity tied to its first bytes.
    return wordOf(object->signature) == wordOf(Signature) ? object : nullptr;
}

SmfObject* createObject(int32_t division) {
    // Only the low 16 bits count, read as a signed value: zero and negative
    // (SMPTE-style) divisions are refused.
    const uint32_t low = static_cast<uint32_t>(division) & 0xFFFFu;
    if (low == 0 || low > 0x7FFFu || Registry == nullptr) return nullptr;
    auto object = std::make_unique<SmfObject>(static_cast<uint16_t>(low));
    return registerObject(object);
}

SmfObject* registerObject(std::unique_ptr<SmfObject>& object) {
    if (Registry == nullptr) return nullptr;
    Registry->add(object.get());
    return object.release();
}

void destroyObject(SmfObject* object) {
    if (Registry != nullptr && Registry->find(handleOf(object)) != nullptr)
        Registry->destroy(object);
}

void discardObject(SmfObject* object) {
    if (Registry != nullptr && Registry->find(handleOf(object)) != nullptr)
        Registry->discard(object);
}

void tearDownRegistry() {
    if (Registry != nullptr) std::exchange(Registry, nullptr)->~HandleRegistry();
}

uint32_t liveObjectCount() {
    return Registry != nullptr ? Registry->count() : 0;
}

size_t retiredObjectCount() {
    return Registry != nullptr ? Registry->retired() : 0;
}

}  // namespace xemidi

using namespace xemidi;

SmfHandle XEMIDI_CALL CreateSmf(int32_t division) {
    return guarded([&] { return handleOf(createObject(division)); });
}

int XEMIDI_CALL DeleteSmf(SmfHandle smf) {
    return guarded([&] {
        SmfObject* object = validateHandle(smf);
        if (object == nullptr) return 0;
        destroyObject(object);
        return 1;
    });
}
