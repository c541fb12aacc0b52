// Copying an object: a new, independent object with the same division and
// the same events in the same order, so that both write the same file.
#include "core/c_boundary.h"
#include "objects/registry.h"
#include "store/event_list.h"

namespace xemidi {
namespace {

SmfHandle copySmf(SmfHandle smf) {
    SmfObject* source = validateHandle(smf);
    if (source == nullptr) return nullptr;
    const EventNodes& events = source->events.inOrder();
    SmfObject* copy = createObject(source->division);
    // Inserted from last to first, each event lands before those already at
    // its tick: the copy keeps the source's order, and every insertion is a
    // constant-time prepend.
    try {
        for (auto event = events.rbegin(); event != events.rend(); ++event) {
            copy->events.insert(event->tick, event->bytes.data(), event->bytes.size());
        }
    } catch (...) {
        discardObject(copy);  // out of memory: no partial copy survives
        throw;
    }
    return handleOf(copy);
}

}  // namespace
}  // namespace xemidi

SmfHandle XEMIDI_CALL CopySmf(SmfHandle smf) {
    return xemidi::guarded([&] { return xemidi::copySmf(smf); });
}
