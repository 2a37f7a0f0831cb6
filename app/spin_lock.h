// The process's locks: a 32-bit word taken by atomically exchanging all ones into
// it and released by storing 0.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "app/system_call.h"

namespace roi {

inline constexpr std::int32_t LOCK_TAKEN = -1;  // all ones
inline constexpr std::int32_t LOCK_FREE = 0;

// std::atomic's sequentially consistent exchange and store are full barriers, as the
// interlocked calls are; a lock-free 32-bit word keeps the layout the design names.
struct SpinLock {
    std::atomic<std::int32_t> word{LOCK_FREE};
};
static_assert(std::atomic<std::int32_t>::is_always_lock_free && sizeof(SpinLock) == 4);

// sleepWhileWaiting: Sleep(0) between attempts (the graphics lock); the other locks
// spin without sleeping, since they are held for one short list operation.
inline void acquire(SpinLock& lock, bool sleepWhileWaiting = false) {
    while (lock.word.exchange(LOCK_TAKEN) != LOCK_FREE) {
        if (sleepWhileWaiting) {
            ROI_SYSTEM(Sleep(0));
        }
    }
}

// One attempt; true when the lock was taken.
inline bool tryAcquire(SpinLock& lock) {
    return lock.word.exchange(LOCK_TAKEN) == LOCK_FREE;
}

inline void release(SpinLock& lock) {
    lock.word.store(LOCK_FREE);
}

// Holds a lock for one scope, so no way out forgets the release.
class LockGuard {
public:
    explicit LockGuard(SpinLock& lock, bool sleepWhileWaiting = false) : lock_(lock) {
        acquire(lock_, sleepWhileWaiting);
    }
    ~LockGuard() { release(lock_); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    SpinLock& lock_;
};

}  // namespace roi
