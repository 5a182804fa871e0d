// The one place the tray code gets the Win32 API from: the real headers on Windows, the
// project's stand-in elsewhere. No macro is defined here: the application's own view of the
// Windows headers (WIN32_LEAN_AND_MEAN, NOMINMAX or not) stays exactly as it chose.
#pragma once

#if defined(_WIN32)
#include <windows.h>
// windows.h must come first.
#include <shellapi.h>
#include <shlwapi.h>
#else
#include "win32_standin.h"
#endif
