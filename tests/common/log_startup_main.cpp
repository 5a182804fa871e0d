#include "zentra/log.h"

int main() {
    zentra::common::logWarn("process logger in main");
    return 0;
}
