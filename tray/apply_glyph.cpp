#include <cstdint>

#include "zentra/log.h"
#include "zentra/tray.h"

namespace zentra {

HICON trayIconFor(const TrayIcons& icons, TrayGlyph glyph) {
    switch (glyph) {
        case TrayGlyph::Armed:
            return icons.armed;
        case TrayGlyph::Triggered:
            return icons.triggered;
        case TrayGlyph::Error:
            break;
    }
    return icons.error;  // Error and any value outside the enum
}

void applyTrayGlyph(NOTIFYICONDATAW& nid, TrayIcons& icons, TrayGlyph glyph) {
    if (glyph == icons.current) {
        return;
    }
    const HICON icon = trayIconFor(icons, glyph);
    if (icon == nullptr) {
        return;  // not loaded: try again on a later call
    }

    // The flags name the icon alone, so nothing else of the caller's record is applied.
    const UINT savedFlags = nid.uFlags;
    nid.uFlags = NIF_ICON;
    nid.hIcon = icon;
    if (!Shell_NotifyIconW(NIM_MODIFY, &nid)) {
        const DWORD code = GetLastError();
        common::logWarn("applyTrayGlyph: Shell_NotifyIconW(NIM_MODIFY) failed (GLE=", code, ")");
    }
    nid.uFlags = savedFlags;
    // Recorded even after a failure, so a failing shell is asked again only for a new glyph.
    icons.current = glyph;
}

}  // namespace zentra
