// The forwarding to spdlog in docs/logging.md, used as an application would: zentra's lines
// arrive through spdlog's default logger, at their level.
#include <spdlog/spdlog.h>

#include "zentra/log.h"

void forwardZentraToSpdlog();

int main() {
    forwardZentraToSpdlog();
    spdlog::set_pattern("%l %v");
    zentra::common::logWarn("consumer: through spdlog, code ", 7u);
    zentra::common::logAt(zentra::common::LogLevel::Error, "consumer: an error");
    zentra::common::logAt(zentra::common::LogLevel::Debug, "consumer: below spdlog's level");
    return 0;
}
