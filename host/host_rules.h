// What the host decides without Windows: the icons' size when the platform cannot say, and which
// callback messages it refuses.
#pragma once

#include "zentra/glyph.h"

namespace zentra::host {

// The delay of a one-shot timer that must fire at `at`, not before: the whole milliseconds from
// `now`, rounded up, held between the shortest and the longest delay a window timer takes (10 ms
// and 0x7FFFFFFF ms, USER_TIMER_MINIMUM and USER_TIMER_MAXIMUM).
unsigned timerDelayMs(MonoTime at, MonoTime now);

// The size the icons are loaded at: the small-icon size for the window's DPI; when that is not
// known (0, or less), the system's small-icon size; when neither is, 16.
int iconPixels(int forDpi, int system);

// Why `message` cannot be the notification icon's callback message, or null when it can. It must
// lie where applications' messages lie (WM_USER to 0xBFFF, WM_APP's range included) or among the
// registered messages (0xC000 to 0xFFFF), and must not be one the host has registered for itself.
const char* callbackMessageProblem(unsigned message, unsigned taskbarCreated, unsigned wake);

// Which of the application's icon sets fits the taskbar: its own for high contrast when the user
// chose high contrast and it has one, else its light taskbar's set on a light taskbar when it has
// one, else the default set (made for a dark taskbar).
enum class IconVariant { Default, Light, Contrast };
IconVariant chooseIconVariant(bool lightTaskbar, bool highContrast, bool hasLight,
                              bool hasContrast);

}  // namespace zentra::host
