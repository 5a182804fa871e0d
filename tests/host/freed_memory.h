// Freed memory kept aside and filled with 0xDD while watched, by replacing the global operator
// new and delete of the test program: a host that writes to itself after the application destroyed
// it changes a byte there (and one that reads a pointer of itself and follows it faults).
#pragma once

#include <cstddef>

namespace freed_memory {

// From now on (true) freed blocks are kept and filled; false frees them as usual again.
void watch(bool on);
// The blocks kept whose bytes changed after they were freed.
std::size_t touched();
// Frees the blocks kept.
void release();

}  // namespace freed_memory
