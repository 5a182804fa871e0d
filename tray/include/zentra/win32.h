// The one place the tray code gets the Win32 API from: the real headers on Windows, the
// project's stand-in elsewhere.
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h must come first.
#include <shellapi.h>
#include <shlwapi.h>
#else
#include "win32_standin.h"
#endif
