// logMutex lives in a file of its own so that a check of this object file can show it has no
// start-up initialiser: the lock must work before any initialiser has run.
#include <type_traits>

#include "constinit.h"
#include "zentra/logger.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace zentra::common {

// Nothing to run at exit either, so a line logged by a late static destructor still finds it.
static_assert(std::is_trivially_destructible_v<LogMutex>, "logMutex must never be torn down");

ZENTRA_CONSTINIT LogMutex logMutex;

#if defined(_WIN32)

static_assert(sizeof(SRWLOCK) == sizeof(void*) && alignof(SRWLOCK) == alignof(void*),
              "an SRWLOCK is one pointer-sized word");

namespace {
PSRWLOCK srw(void*& slot) {
    return reinterpret_cast<PSRWLOCK>(&slot);
}
}  // namespace

void LogMutex::lock() noexcept {
    AcquireSRWLockExclusive(srw(srwLock_));
}
void LogMutex::unlock() noexcept {
    ReleaseSRWLockExclusive(srw(srwLock_));
}
bool LogMutex::try_lock() noexcept {
    return TryAcquireSRWLockExclusive(srw(srwLock_)) != 0;
}

#else

void LogMutex::lock() noexcept {
    pthread_mutex_lock(&mutex_);
}
void LogMutex::unlock() noexcept {
    pthread_mutex_unlock(&mutex_);
}
bool LogMutex::try_lock() noexcept {
    return pthread_mutex_trylock(&mutex_) == 0;
}

#endif

}  // namespace zentra::common
