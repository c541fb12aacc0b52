#include "frame/registry.h"

#include <cstring>
#include <memory>

#include "frame/c_boundary.h"

namespace xemidi {

namespace {

constexpr char Signature[] = "xeMidi";

// Live objects in creation order. The registry owns them; whatever is left
// when the library is unloaded (dlclose, process exit, DLL detach) is freed
// by its destructor.
struct HandleRegistry {
    HandleRegistry() = default;
    HandleRegistry(const HandleRegistry&) = delete;
    HandleRegistry& operator=(const HandleRegistry&) = delete;
    ~HandleRegistry() { destroyAll(); }

    std::list<SmfObject*>::iterator find(SmfHandle handle) {
        auto node = objects.begin();
        while (node != objects.end() && handleOf(*node) != handle) ++node;
        return node;
    }

    void destroyAll() {
        for (SmfObject* object : objects) delete object;
        objects.clear();
    }

    std::list<SmfObject*> objects;
};

HandleRegistry Registry;

}  // namespace

SmfObject::SmfObject(uint16_t ticksPerQuarter) : division(ticksPerQuarter), events(nodes) {
    std::memset(signature, 0, sizeof signature);
    std::memcpy(signature, Signature, sizeof Signature);
}

SmfObject* validateHandle(SmfHandle handle) {
    auto node = Registry.find(handle);
    if (node == Registry.objects.end()) return nullptr;
    // A registered address always holds the signature; checking it keeps
    // the object's identity tied to its first bytes.
    return std::memcmp((*node)->signature, Signature, sizeof Signature) == 0 ? *node : nullptr;
}

SmfObject* createObject(int32_t division) {
    // Only the low 16 bits count, read as a signed value: zero and negative
    // (SMPTE-style) divisions are refused.
    const uint32_t low = static_cast<uint32_t>(division) & 0xFFFFu;
    if (low == 0 || low > 0x7FFFu) return nullptr;
    auto object = std::make_unique<SmfObject>(static_cast<uint16_t>(low));
    Registry.objects.push_back(object.get());
    return object.release();
}

void destroyObject(SmfObject* object) {
    auto node = Registry.find(handleOf(object));
    if (node == Registry.objects.end()) return;
    delete *node;
    Registry.objects.erase(node);
}

void destroyAllObjects() {
    Registry.destroyAll();
}

uint32_t liveObjectCount() {
    return static_cast<uint32_t>(Registry.objects.size());
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
