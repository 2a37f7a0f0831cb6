// For test programs that build the real main window: the state the program's start-up
// gives the main thread (its runtime record's defaults, the built-in fonts, the working
// control word), and a watchdog that ends a run still going after its limit.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "app/runtime.h"
#include "ui/font_table.h"

namespace roi_test {

class ProgramEnvironment : public testing::Environment {
public:
    ProgramEnvironment(const char* program, std::chrono::seconds limit) : program_(program), limit_(limit) {}

    void SetUp() override {
        roi::ThreadRecord& record = roi::threadRecord();
        record.defaultDialogFont = 1;
        record.codePage = CP_ACP;
        roi::createDefaultFonts();
        roi::loadWorkingControlWord();
        std::thread([program = program_, limit = limit_] {
            std::this_thread::sleep_for(limit);
            std::fprintf(stderr, "%s: watchdog ended a run that hung\n", program);
            std::fflush(stderr);
            ExitProcess(3);
        }).detach();
    }

private:
    const char* program_;
    std::chrono::seconds limit_;
};

}  // namespace roi_test
