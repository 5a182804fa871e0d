// zentra-selfcheck: checks the glyph derivation against its fixed scenarios.
#include <chrono>
#include <iostream>

#include "runner.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#endif

int main() {
#if defined(_WIN32)
    // The report lines are the same bytes on every platform: no "\r\n" translation.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const zn::MonoTime now = std::chrono::steady_clock::now();
    return zentra::selfcheck::runSelfCheck(&zn::deriveTrayGlyph, now, std::cout, std::cerr);
}
