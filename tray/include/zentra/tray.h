// The tray's icon set and the function that shows a glyph in the notification area.
#pragma once

#include "zentra/glyph.h"
#include "zentra/win32.h"

namespace zentra {

// One icon per glyph, owned by the record (null: not loaded), and the glyph last applied.
// Create it with three null handles; `current` is the caller's to initialise.
struct TrayIcons {
    HICON armed = nullptr;
    HICON triggered = nullptr;
    HICON error = nullptr;  // also shown for any glyph value outside the enum
    TrayGlyph current = TrayGlyph::Armed;
};

// Loads resources\tray_armed.ico, tray_triggered.ico and tray_error.ico from the folder of the
// running executable into `icons`. Each failure is logged as a warning and leaves its handle null;
// `current` is not touched. Call destroyTrayIcons first when reloading: handles are overwritten.
void initTrayIcons(HINSTANCE unused, TrayIcons& icons);

// Loads the same three files as initTrayIcons at `pixels` a side (the file's image of that size,
// where it has one, rather than one scaled from the default size) into `icons`, overwriting its
// handles as initTrayIcons does. Each failure is logged as a warning naming the file.
void loadTrayIconsAtSize(TrayIcons& icons, int pixels);
// One of those files, for `glyph` (error for any value outside the enum); null, warned, if it
// cannot be loaded.
HICON loadTrayIconAtSize(TrayGlyph glyph, int pixels);

// The handle `icons` holds for `glyph` (error for any value outside the enum); null if not loaded.
HICON trayIconFor(const TrayIcons& icons, TrayGlyph glyph);

// Destroys every loaded icon once and nulls its handle; `current` is not touched.
void destroyTrayIcons(TrayIcons& icons);

// Shows `glyph`'s icon on the caller's registered notification icon (identified by hWnd, uID),
// only when it differs from icons.current. The record's uFlags is restored afterwards; hIcon keeps
// the new handle. A failed shell call is logged once and still counts as applied.
void applyTrayGlyph(NOTIFYICONDATAW& nid, TrayIcons& icons, TrayGlyph glyph);

}  // namespace zentra
