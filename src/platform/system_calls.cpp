#include "platform/system.h"

namespace xemidi::sys {

SystemCalls& systemCalls() {
    static SystemCalls inUse = nativeSystemCalls();
    return inUse;
}

}  // namespace xemidi::sys
