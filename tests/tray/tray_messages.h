// The warnings initTrayIcons logs, built from their pieces as the tests expect them.
#pragma once

#include <sstream>
#include <string>

#include "zentra/tray.h"

namespace tray_messages {

inline std::string pointerForm(const void* p) {
    std::ostringstream oss;
    oss << p;
    return oss.str();
}

inline std::string partialLoad(const zentra::TrayIcons& icons) {
    return "initTrayIcons: partial load (armed=" + pointerForm(icons.armed) +
           ", triggered=" + pointerForm(icons.triggered) + ", error=" + pointerForm(icons.error) +
           ")";
}

inline std::string loadFailed(int code) {
    return "initTrayIcons: LoadImageW failed (GLE=" + std::to_string(code) + ")";
}

inline const std::string kPathCombineFailed = "initTrayIcons: PathCombineW failed for relPath";

}  // namespace tray_messages
