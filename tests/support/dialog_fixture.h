// The fixture of the dialog engine's tests: the built-in fonts exist, dialogs made
// with hiddenDialog are destroyed afterwards, and no test may leave a window record
// behind.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "ui/dialog_engine.h"
#include "ui/font_table.h"
#include "ui/window_records.h"

namespace roi_test {

class EngineTest : public testing::Test {
protected:
    void SetUp() override {
        roi::createDefaultFonts();
        recordsBefore_ = roi::recordCount();
    }
    void TearDown() override {
        for (HWND dialog : dialogs_) {
            if (IsWindow(dialog)) {
                DestroyWindow(dialog);
            }
        }
        EXPECT_EQ(roi::recordCount(), recordsBefore_) << "records left behind";
    }
    HWND hiddenDialog(roi::UnitMode unit = roi::UnitMode::DialogUnits) {
        HWND dialog = roi::createDialog(unit, nullptr, "Engine test", 10, 10, 240, 160, 0, 0);
        EXPECT_NE(dialog, nullptr);
        dialogs_.push_back(dialog);
        return dialog;
    }
    // The control's rectangle in its dialog's client coordinates.
    static RECT childRect(HWND control) {
        RECT rect = {};
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    int recordsBefore_ = 0;
    std::vector<HWND> dialogs_;
};

}  // namespace roi_test
