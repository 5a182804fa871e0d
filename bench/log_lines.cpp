// Writes N log lines through a ConsoleLogger, for counting the system calls they cost.
#include <cstdlib>
#include <string>

#include "zentra/logger.h"

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 1000;
    zentra::common::ConsoleLogger logger;
    for (int i = 0; i < lines; ++i) {
        logger.log(zentra::common::LogLevel::Warn, "line " + std::to_string(i));
    }
    return 0;
}
