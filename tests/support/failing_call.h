// The file layer's system-call seam made to fail: the nth call of one kind leaves a
// last-error value, as a full disk or a failing device would; the call itself has run.
#pragma once

#include <windows.h>

#include "storage/text_file.h"

namespace roi_test {

struct FailingCall {
    roi::SystemCall call = roi::SystemCall::Open;
    int nth = 0;
    DWORD systemError = 0;
    int seen = 0;
};
inline FailingCall failingCall;

inline void failNthCall(roi::SystemCall call) {
    if (call == failingCall.call && ++failingCall.seen == failingCall.nth) {
        SetLastError(failingCall.systemError);
    }
}

// Installs the seam; the test removes it with roi::setSystemCallSeam(nullptr).
inline void armFailingCall(roi::SystemCall call, int nth, DWORD systemError) {
    failingCall = FailingCall{call, nth, systemError, 0};
    roi::setSystemCallSeam(failNthCall);
}

}  // namespace roi_test
