// zentra-selfcheck: checks the glyph derivation against its fixed scenarios.
#include <chrono>
#include <iostream>

#include "runner.h"

int main() {
    const zn::MonoTime now = std::chrono::steady_clock::now();
    return zentra::selfcheck::runSelfCheck(&zn::deriveTrayGlyph, now, std::cout, std::cerr);
}
