// Tests of the window-record list under Wine: one record per window, records released
// with their window and its descendants, and brushes shared between records.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/dialog_fixture.h"
#include "ui/dialog_engine.h"
#include "ui/window_records.h"

namespace roi {
namespace {

using roi_test::EngineTest;

TEST_F(EngineTest, RecordsGoWithTheirWindow) {
    const int before = recordCount();
    HWND dialog = hiddenDialog();
    addControl(dialog, 1, ControlKind::StaticLabel, "a", 5, 5, 40, 10, 0, 0);
    addControl(dialog, 2, ControlKind::EditBox, "b", 5, 20, 40, 10, 0, 0);
    addControl(dialog, 3, ControlKind::PushButton, "c", 5, 35, 40, 10, 0, 0);
    addControl(dialog, 4, ControlKind::GroupBox, "d", 0, 0, 80, 60, 0, 0);
    addControl(dialog, 5, ControlKind::BitmapImage, "#123", 60, 5, 10, 10, 0, 0);
    EXPECT_EQ(recordCount(), before + 6);
    const HANDLE image = LockedRecord(controlHandle(dialog, 5))->image;
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(GetObjectType(image), static_cast<DWORD>(OBJ_BITMAP));
    DestroyWindow(dialog);
    EXPECT_EQ(recordCount(), before);
    EXPECT_FALSE(LockedRecord(dialog));
    EXPECT_EQ(GetObjectType(image), 0u);  // the image went with its record
}

TEST(WindowRecords, NewFindRelease) {
    // Plain windows stand in for engine windows: the list only keys on handles.
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    HWND child =
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 5, 5, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND grandchild =
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 5, 5, child, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(grandchild, nullptr);
    const int before = recordCount();
    const auto childOf = [](HWND parentWindow) { return [=](WindowRecord& record) { record.parent = parentWindow; }; };
    EXPECT_FALSE(newRecord(nullptr));
    ASSERT_TRUE(newRecord(parent));
    EXPECT_FALSE(newRecord(parent));  // one record per window
    ASSERT_TRUE(newRecord(child, childOf(parent)));
    ASSERT_TRUE(newRecord(grandchild, childOf(child)));
    EXPECT_EQ(LockedRecord(child)->parent, parent);
    EXPECT_FALSE(LockedRecord(nullptr));
    EXPECT_EQ(recordCount(), before + 3);

    // Brushes of one colour are shared and outlive all but their last record.
    const HBRUSH shared = shareBrush(RGB(1, 2, 3));
    LockedRecord(child)->backgroundBrush = shared;
    LockedRecord(grandchild)->backgroundBrush = shareBrush(RGB(1, 2, 3));
    const HBRUSH own = shareBrush(RGB(3, 2, 1));
    LockedRecord(parent)->backgroundBrush = own;
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(LockedRecord(grandchild)->backgroundBrush, shared);
    EXPECT_NE(own, shared);

    releaseRecord(nullptr);  // matches nothing, releases nothing
    EXPECT_EQ(recordCount(), before + 3);
    releaseRecord(grandchild);
    EXPECT_EQ(GetObjectType(shared), static_cast<DWORD>(OBJ_BRUSH));  // the child still uses it
    // Releasing the parent takes its descendants along.
    releaseRecord(parent);
    EXPECT_EQ(recordCount(), before);
    EXPECT_FALSE(LockedRecord(child));
    EXPECT_EQ(GetObjectType(shared), 0u);
    EXPECT_EQ(GetObjectType(own), 0u);

    // Parent links that loop (never made by the engine) still end.
    ASSERT_TRUE(newRecord(parent, childOf(child)));
    ASSERT_TRUE(newRecord(child, childOf(parent)));
    releaseRecord(parent);
    EXPECT_EQ(recordCount(), before);
    DestroyWindow(parent);
}

}  // namespace
}  // namespace roi
