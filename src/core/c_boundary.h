// Every export runs its body through guarded(): whatever the body throws
// (std::bad_alloc in practice) becomes the export's failure value, so no
// exception ever crosses the C interface.
#pragma once

#include <type_traits>

namespace xemidi {

template <typename Body>
auto guarded(Body&& body) noexcept -> decltype(body()) {
    using Result = decltype(body());
    static_assert(std::is_scalar_v<Result>, "exports return an int or a handle");
    try {
        return body();
    } catch (...) {
        return Result{};
    }
}

}  // namespace xemidi
