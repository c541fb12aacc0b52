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
    SmfObject* copy = createObject(source->division);
    try {
        copy->events.copyFrom(source->events);
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
