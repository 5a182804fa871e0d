// Heap bytes the console logger keeps after a line.
#include <gtest/gtest.h>

#include <string>

#include "live_heap_bytes.h"

#include "stderr_capture.h"
#include "zentra/logger.h"

namespace {

using zentra::common::ConsoleLogger;
using zentra::common::LogLevel;

// What a line leaves on the heap once log has returned: an ordinary line may keep its buffer (a
// few KiB at most), a longer one (from just over 4 KiB on) must not keep its size.
TEST(ConsoleLoggerMemory, HugeLineIsNotKept) {
    ConsoleLogger logger;
    StderrCapture capture;
    for (const std::size_t length :
         {std::size_t{100}, std::size_t{3000}, std::size_t{4200}, std::size_t{64} << 10,
          std::size_t{8} << 20, std::size_t{100}}) {
        const std::string message(length, 'x');
        const long long before = liveHeapBytes();
        logger.log(LogLevel::Warn, message);
        EXPECT_LE(liveHeapBytes() - before, 4096) << "after a line of " << length << " bytes";
    }
}

// An ordinary line's buffer is kept: the next line of its length allocates nothing.
TEST(ConsoleLoggerMemory, OrdinaryLineBufferIsKept) {
    ConsoleLogger logger;
    StderrCapture capture;
    const std::string message(3000, 'x');
    logger.log(LogLevel::Warn, message);
    const long long before = liveHeapBytes();
    logger.log(LogLevel::Warn, message);
    EXPECT_EQ(liveHeapBytes(), before);
}

}  // namespace
