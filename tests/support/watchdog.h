// Ends the whole test program when a test runs past its limit, so a hanging modal
// loop or wait fails the run instead of stalling it.
#pragma once

#include <windows.h>

#include <cstdio>

namespace roi_test {

class Watchdog {
public:
    explicit Watchdog(DWORD limitMs) : done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), limit_(limitMs) {
        thread_ = CreateThread(nullptr, 0, watch, this, 0, nullptr);
    }
    ~Watchdog() {
        SetEvent(done_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(done_);
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    static DWORD WINAPI watch(LPVOID self) {
        auto* dog = static_cast<Watchdog*>(self);
        if (WaitForSingleObject(dog->done_, dog->limit_) == WAIT_TIMEOUT) {
            std::fprintf(stderr, "watchdog: a test did not finish within %lu ms\n",
                         static_cast<unsigned long>(dog->limit_));
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        return 0;
    }

    HANDLE done_;
    DWORD limit_;
    HANDLE thread_ = nullptr;
};

}  // namespace roi_test
