// Freed memory kept aside and filled with 0xDD while watched, by replacing the global operator
// new and delete of the test program: a host that writes to itself after the application destroyed
// it changes a byte there (and one that follows a pointer of itself faults).
#pragma once

#include <cstddef>

namespace freed_memory {

// True: freed blocks are kept and filled from now on. False: they are freed as usual again, and
// the answer is how many kept blocks changed after they were freed (those are freed too).
std::size_t watch(bool on);

}  // namespace freed_memory
