// The runtime inside one process: error slots, per-thread records and the x87 mode.
#include "app/runtime.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// Static initialisation runs on the main thread, so it owns the program's main record.
const bool mainRecordMade = (roi::threadRecord(), true);

DWORD WINAPI runBody(LPVOID parameter) {
    (*static_cast<std::function<void()>*>(parameter))();
    return 0;
}

// Runs body on a thread of its own and waits for it (at most 30 s).
bool onOtherThread(std::function<void()> body) {
    HANDLE thread = CreateThread(nullptr, 0, runBody, &body, 0, nullptr);
    if (thread == nullptr) {
        return false;
    }
    const DWORD waited = WaitForSingleObject(thread, 30000);
    CloseHandle(thread);
    return waited == WAIT_OBJECT_0;
}

// A service in the convention's shape: it finds its caller's slot on its own.
int failingService(int code) {
    roi::reportError(code);
    return 0;
}

long double third() {
    volatile long double one = 1.0L;
    volatile long double three = 3.0L;
    return one / three;
}

TEST(ReportError, StoresCodeInCallersSlot) {
    struct Case {
        int code;
        std::uint8_t stored;
    };
    const Case cases[] = {
        {5, 5},      // argument refused
        {53, 53},    // file not found
        {1, 1},      // lowest code
        {240, 240},  // highest code that is not fatal
        {0, 51},     // no code at all still marks the slot
        {-7, 51},    // nonsense codes are not lost either
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        roi::ErrorSlot slot;
        EXPECT_EQ(slot.code(), 0);
        EXPECT_EQ(failingService(c.code), 0);
        EXPECT_EQ(slot.code(), c.stored);
    }
}

TEST(ReportError, LaterCodeReplacesEarlierAndSuccessDoesNotClear) {
    roi::ErrorSlot slot;
    failingService(53);
    failingService(70);
    EXPECT_EQ(slot.code(), 70);
    slot.clear();
    EXPECT_EQ(slot.code(), 0);
}

TEST(ErrorSlot, InnermostSlotReceivesAndOuterComesBack) {
    roi::ErrorSlot outer;
    {
        roi::ErrorSlot inner;
        failingService(62);
        EXPECT_EQ(inner.code(), 62);
        EXPECT_EQ(outer.code(), 0);
    }
    failingService(55);
    EXPECT_EQ(outer.code(), 55);
}

TEST(ErrorSlot, ReportWithoutAnySlotIsHarmless) {
    bool done = false;
    ASSERT_TRUE(onOtherThread([&] {
        failingService(53);  // no routine on this thread owns a slot
        done = true;
        roi::releaseThreadRecord();
    }));
    EXPECT_TRUE(done);
}

TEST(ErrorSlot, EachThreadHasItsOwn) {
    roi::ErrorSlot mine;
    std::uint8_t theirs = 0;
    ASSERT_TRUE(onOtherThread([&] {
        {
            roi::ErrorSlot slot;
            failingService(76);
            theirs = slot.code();
        }
        roi::releaseThreadRecord();
    }));
    EXPECT_EQ(theirs, 76);
    EXPECT_EQ(mine.code(), 0);
}

TEST(ThreadRecord, MainThreadDefaults) {
    ASSERT_TRUE(mainRecordMade);
    const roi::ThreadRecord& record = roi::threadRecord();
    EXPECT_EQ(record.defaultDialogFont, 1);
    EXPECT_EQ(record.codePage, static_cast<UINT>(CP_ACP));
    EXPECT_EQ(record.currentCanvas, nullptr);
    EXPECT_EQ(&roi::threadRecord(), &record);  // the same record on every call
}

TEST(ThreadRecord, OtherThreadInheritsFontAndCodePage) {
    roi::ThreadRecord& main = roi::threadRecord();
    const int savedFont = main.defaultDialogFont;
    const UINT savedCodePage = main.codePage;
    main.defaultDialogFont = 3;
    main.codePage = 1252;

    roi::ThreadRecord* seen = nullptr;
    roi::ThreadRecord copy{};
    roi::ThreadRecord again{};
    ASSERT_TRUE(onOtherThread([&] {
        seen = &roi::threadRecord();
        copy = *seen;
        seen->codePage = 437;  // changing it must not reach the main thread
        roi::releaseThreadRecord();
        again = roi::threadRecord();  // a fresh record after the release
        roi::releaseThreadRecord();
    }));
    main.defaultDialogFont = savedFont;
    main.codePage = savedCodePage;

    EXPECT_NE(seen, &main);
    EXPECT_EQ(copy.defaultDialogFont, 3);
    EXPECT_EQ(copy.codePage, 1252u);
    EXPECT_EQ(copy.errorSlot, nullptr);
    EXPECT_EQ(copy.currentCanvas, nullptr);
    EXPECT_EQ(again.codePage, 1252u);
    EXPECT_EQ(main.codePage, savedCodePage);
}

TEST(ControlWord, LoadAndReadBack) {
    const unsigned words[] = {0x027F, 0x037F, 0x133F, 0x0C7F};  // 53-bit, default, working, truncating
    for (unsigned word : words) {
        SCOPED_TRACE(word);
        roi::loadControlWord(word);
        EXPECT_TRUE(roi::sameControlWord(roi::currentControlWord(), word)) << std::hex << roi::currentControlWord();
    }
    roi::loadWorkingControlWord();
    EXPECT_EQ(roi::currentControlWord() & roi::CONTROL_WORD_BITS, roi::WORKING_CONTROL_WORD);
}

TEST(ControlWord, PrecisionFollowsTheWord) {
    roi::loadControlWord(0x027F);  // 53-bit significand, as a system call may leave it
    const long double shortThird = third();
    roi::loadWorkingControlWord();
    const long double longThird = third();
    EXPECT_EQ(shortThird, 0x1.5555555555555p-2L);
    EXPECT_EQ(longThird, 0x1.5555555555555556p-2L);
}

TEST(FpuState, RestoreUndoesWhatACallInBetweenChanged) {
    roi::loadWorkingControlWord();
    roi::FpuState state;
    roi::saveFpuState(state);
    roi::loadControlWord(0x027F);
    roi::restoreFpuState(state);
    EXPECT_EQ(roi::currentControlWord() & roi::CONTROL_WORD_BITS, roi::WORKING_CONTROL_WORD);
    EXPECT_EQ(third(), 0x1.5555555555555556p-2L);

    roi::callSystemKeepingFpu([] { roi::loadControlWord(0x027F); });
    EXPECT_EQ(roi::currentControlWord() & roi::CONTROL_WORD_BITS, roi::WORKING_CONTROL_WORD);
}

// The seam stands for a call into Windows that leaves a 53-bit word behind; the bracket
// every such call stands in puts the working word back before the next computation.
TEST(ControlWord, ACallIntoWindowsLeavesTheWorkingWord) {
    roi::setAfterSystemCall([] { roi::loadControlWord(0x027F); });
    ROI_SYSTEM(GetTickCount());
    const long double afterCall = third();
    roi::setAfterSystemCall(nullptr);
    EXPECT_EQ(afterCall, 0x1.5555555555555556p-2L);
}

}  // namespace
