// Uses each installed library once: derive a glyph, log through the process-wide logger (installed
// before main by zentra::common), and release an empty tray icon set.
#include <chrono>
#include <cstdio>

#include "zentra/glyph.h"
#include "zentra/log.h"
#include "zentra/tray.h"

int main() {
    const zn::EngineHealth health{true, false, "", false, false};
    const zn::EngineState state{"triggered", std::nullopt, "active"};
    const auto now = std::chrono::steady_clock::now();
    if (zn::deriveTrayGlyph(health, state, zn::MonoTime{}, now) != zn::TrayGlyph::Triggered) {
        return 1;
    }
    if (!zentra::common::getLogger()) {
        return 2;  // the process-wide logger was not installed before main
    }
    zentra::common::logWarn("consumer: logged through zentra, code ", 7u);
    zentra::TrayIcons icons;
    zentra::destroyTrayIcons(icons);
    std::printf("consumer ok\n");
    return 0;
}
