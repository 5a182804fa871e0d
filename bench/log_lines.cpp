// Writes N log lines through a ConsoleLogger, or a FileLogger when a file is named, for counting
// the system calls they cost.
//   log_lines [N] [file]
#include <cstdlib>
#include <memory>
#include <string>

#include "zentra/log_sinks.h"
#include "zentra/logger.h"

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 1000;
    std::unique_ptr<zentra::common::ILogger> logger;
    if (argc > 2) {
        logger = std::make_unique<zentra::common::FileLogger>(argv[2]);
    } else {
        logger = std::make_unique<zentra::common::ConsoleLogger>();
    }
    for (int i = 0; i < lines; ++i) {
        logger->log(zentra::common::LogLevel::Warn, "line " + std::to_string(i));
    }
    return 0;
}
