#include "host_rules.h"

#include <chrono>
#include <limits>

namespace zentra::host {

namespace {

constexpr unsigned kShortestTimer = 0x0000000A;  // USER_TIMER_MINIMUM
constexpr unsigned kLongestTimer = 0x7FFFFFFF;   // USER_TIMER_MAXIMUM

constexpr unsigned kFirstUserMessage = 0x0400;  // WM_USER
constexpr unsigned kLastMessage = 0xFFFF;

}  // namespace

unsigned timerDelayMs(MonoTime at, MonoTime now) {
    const auto a = at.time_since_epoch().count();
    const auto n = now.time_since_epoch().count();
    if (a <= n) {
        return kShortestTimer;
    }
    // The difference of two tick counts can pass the tick range when `now` is negative.
    if (n < 0 && a > std::numeric_limits<decltype(a)>::max() + n) {
        return kLongestTimer;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(at - now).count();
    if (ms < kShortestTimer) {
        return kShortestTimer;
    }
    return ms > kLongestTimer ? kLongestTimer : static_cast<unsigned>(ms);
}

int iconPixels(int forDpi, int system) {
    if (forDpi > 0) {
        return forDpi;
    }
    return system > 0 ? system : 16;
}

const char* callbackMessageProblem(unsigned message, unsigned taskbarCreated, unsigned wake) {
    if (message < kFirstUserMessage) {
        return "it is below WM_USER, among the system's own messages";
    }
    if (message > kLastMessage) {
        return "it is above 0xFFFF, where no window message lies";
    }
    if (message == taskbarCreated || message == wake) {
        return "the host has registered it for itself";
    }
    return nullptr;
}

IconVariant chooseIconVariant(bool lightTaskbar, bool highContrast, bool hasLight,
                              bool hasContrast) {
    if (highContrast && hasContrast) {
        return IconVariant::Contrast;
    }
    return lightTaskbar && hasLight ? IconVariant::Light : IconVariant::Default;
}

}  // namespace zentra::host
