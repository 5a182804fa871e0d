// Bytes allocated with the global operator new and not yet deleted, counted by replacing the
// global allocation functions (so link live_heap_bytes.cpp into one test program only).
#pragma once

long long liveHeapBytes();
