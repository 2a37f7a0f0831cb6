// The process's locks: a 32-bit word taken by atomically exchanging all ones into
// it and released by storing 0.
#pragma once

#include <windows.h>

namespace roi {

struct SpinLock {
    volatile LONG word = 0;
};

// sleepWhileWaiting: Sleep(0) between attempts (the graphics lock); the other locks
// spin without sleeping, since they are held for one short list operation.
inline void acquire(SpinLock& lock, bool sleepWhileWaiting = false) {
    while (InterlockedExchange(&lock.word, -1) != 0) {
        if (sleepWhileWaiting) {
            Sleep(0);
        }
    }
}

// One attempt; true when the lock was taken.
inline bool tryAcquire(SpinLock& lock) { return InterlockedExchange(&lock.word, -1) == 0; }

inline void release(SpinLock& lock) { InterlockedExchange(&lock.word, 0); }

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
