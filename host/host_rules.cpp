#include "host_rules.h"

namespace zentra::host {

namespace {

constexpr unsigned kFirstUserMessage = 0x0400;  // WM_USER
constexpr unsigned kLastMessage = 0xFFFF;

}  // namespace

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

}  // namespace zentra::host
