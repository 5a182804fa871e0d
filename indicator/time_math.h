// Time arithmetic the controller's parts share.
#pragma once

#include <chrono>
#include <limits>

#include "zentra/glyph.h"

namespace zentra {

// `now` plus `delay`, held at the largest time point rather than wrapping past it.
inline MonoTime later(MonoTime now, std::chrono::nanoseconds delay) {
    const auto ticks = now.time_since_epoch().count();
    const auto step = delay.count();
    if (ticks > std::numeric_limits<MonoTime::rep>::max() - step) {
        return MonoTime::max();
    }
    return MonoTime(MonoTime::duration(ticks + step));
}

}  // namespace zentra
