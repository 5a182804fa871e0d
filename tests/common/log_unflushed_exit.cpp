// Makes standard error fully buffered, logs one line and ends the process without flushing
// anything: the line is seen only if the logger flushed it.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "zentra/log.h"

int main() {
    static char buffer[1 << 16];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
    std::cerr.unsetf(std::ios::unitbuf);
    zentra::common::logWarn("flushed before _Exit");
    std::_Exit(0);
}
