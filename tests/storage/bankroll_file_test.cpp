// bankroll.roi written and read back in a private current directory.
#include "storage/bankroll_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/runtime.h"
#include "storage/bankroll_history.h"
#include "storage/text_file.h"
#include "tests/support/failing_call.h"
#include "tests/support/temp_dir.h"

namespace {

using roi_test::bytes;
using roi_test::hex;
using roi_test::readRaw;
using roi_test::TempDir;
using roi_test::writeRaw;

class BankrollFile : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.created());
        wchar_t previous[MAX_PATH];
        previousLength_ = GetCurrentDirectoryW(MAX_PATH, previous);
        previous_.assign(previous, previousLength_);
        ASSERT_TRUE(SetCurrentDirectoryW(dir_.wide().c_str()));
        roi::session().bankrollFileName = roi::BANKROLL_FILE_NAME;
    }
    void TearDown() override {
        roi::setSystemCallSeam(nullptr);
        roi::forgetWaitingHistory();
        SetCurrentDirectoryW(previous_.c_str());  // before the directory is removed
        roi::session().bankrollFileName.clear();
    }

    // The file in the current directory, by its full path, and the temporary file a
    // save writes first.
    std::string file() const { return dir_.file(roi::BANKROLL_FILE_NAME); }
    std::string temporary() const { return dir_.file(std::string(roi::BANKROLL_FILE_NAME) + ".tmp"); }
    std::string history() const { return dir_.file(roi::HISTORY_FILE_NAME); }

    // A save of "5" and "6" works, and leaves no temporary file.
    void expectASaveThatTidiesUp() {
        roi::ErrorSlot slot;
        EXPECT_TRUE(roi::writeBankroll("5", "6"));
        EXPECT_EQ(slot.code(), 0);
        EXPECT_EQ(readRaw(file()), "\"5\"\r\n\"6\"\r\n");
        EXPECT_EQ(readRaw(temporary()), "<missing>");
    }

    TempDir dir_;
    std::wstring previous_;
    DWORD previousLength_ = 0;
};

TEST_F(BankrollFile, WritesTheByteExamples) {
    struct Case {
        std::string starting;
        std::string ending;
        std::string expected;
    };
    const Case cases[] = {
        {"0", "0", bytes({0x22, 0x30, 0x22, 0x0D, 0x0A, 0x22, 0x30, 0x22, 0x0D, 0x0A})},
        {"1000", "1050.5",
         bytes({0x22, 0x31, 0x30, 0x30, 0x30, 0x22, 0x0D, 0x0A, 0x22, 0x31, 0x30, 0x35, 0x30, 0x2E, 0x35, 0x22, 0x0D,
                0x0A})},
        {"", "-25", bytes({0x22, 0x22, 0x0D, 0x0A, 0x22, 0x2D, 0x32, 0x35, 0x22, 0x0D, 0x0A})},
        {"0", "0", bytes({0x22, 0x30, 0x22, 0x0D, 0x0A, 0x22, 0x30, 0x22, 0x0D, 0x0A})},  // shorter than before
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.starting + " / " + c.ending);
        roi::ErrorSlot slot;
        EXPECT_TRUE(roi::writeBankroll(c.starting, c.ending));
        EXPECT_EQ(slot.code(), 0);
        EXPECT_EQ(hex(readRaw(file())), hex(c.expected));
        const roi::BankrollTexts back = roi::readBankroll();
        EXPECT_EQ(slot.code(), 0);
        EXPECT_EQ(back.starting, c.starting);
        EXPECT_EQ(back.ending, c.ending);
    }
}

TEST_F(BankrollFile, ReadsWhateverTheFileHolds) {
    struct Case {
        const char* what;
        const char* content;  // null: no file
        std::string starting;
        std::string ending;
        int code;  // the slot after the read (the last failure's code)
    };
    const Case cases[] = {
        {"missing file", nullptr, "", "", 52},  // open 53, then both reads on a closed channel 52
        {"empty file", "", "", "", 62},
        {"one value", "\"500\"\r\n", "500", "", 62},
        {"three values", "\"1\"\r\n\"2\"\r\n\"3\"\r\n", "1", "2", 0},  // the third is never read
        {"LF line ends", "\"12\"\n\"34\"\n", "12", "34", 0},
        {"no quotes", "12\r\n34\r\n", "12", "34", 0},
        {"no quotes, LF only", "12\n34\n", "1234", "", 62},
        {"unquoted value with commas", "1,000.00\r\n", "1", "000.00", 0},
        {"not a number", "\"abc\"\r\n\" 7x\"\r\n", "abc", " 7x", 0},  // values are not validated
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW(roi_test::widen(file()).c_str());
        if (c.content != nullptr) {
            ASSERT_TRUE(writeRaw(file(), c.content));
        }
        roi::ErrorSlot slot;
        const roi::BankrollTexts texts = roi::readBankroll();
        EXPECT_EQ(texts.starting, c.starting);
        EXPECT_EQ(texts.ending, c.ending);
        EXPECT_EQ(slot.code(), c.code);
        EXPECT_EQ(readRaw(file()), c.content != nullptr ? c.content : "<missing>");  // reading changes nothing
    }
}

TEST_F(BankrollFile, EachReadStartsFromAFreshList) {
    ASSERT_TRUE(writeRaw(file(), "\"1\"\r\n\"2\"\r\n"));
    EXPECT_EQ(roi::readBankroll().ending, "2");
    ASSERT_TRUE(writeRaw(file(), "\"9\"\r\n"));
    roi::ErrorSlot slot;
    const roi::BankrollTexts texts = roi::readBankroll();
    EXPECT_EQ(texts.starting, "9");
    EXPECT_EQ(texts.ending, "");  // nothing left over from the previous read
}

TEST_F(BankrollFile, WriteRecreatesAMissingFile) {
    roi::ErrorSlot slot;
    EXPECT_TRUE(roi::writeBankroll("7", "8"));
    EXPECT_EQ(readRaw(file()), "\"7\"\r\n\"8\"\r\n");
    ASSERT_TRUE(DeleteFileW(roi_test::widen(file()).c_str()));
    EXPECT_TRUE(roi::writeBankroll("0", "0"));
    EXPECT_EQ(readRaw(file()), "\"0\"\r\n\"0\"\r\n");
    EXPECT_EQ(slot.code(), 0);
}

TEST_F(BankrollFile, ReadOnlyFileKeepsItsContent) {
    ASSERT_TRUE(writeRaw(file(), "\"100\"\r\n\"200\"\r\n"));
    if (!roi_test::makeReadOnly(file())) {
        GTEST_SKIP() << roi_test::READ_ONLY_NOT_ENFORCED;
    }
    roi::ErrorSlot slot;
    EXPECT_FALSE(roi::writeBankroll("1000", "1050.5"));
    EXPECT_EQ(slot.code(), 70);  // the replacement is refused: access denied
    EXPECT_EQ(readRaw(file()), "\"100\"\r\n\"200\"\r\n");
    slot.clear();
    const roi::BankrollTexts back = roi::readBankroll();
    EXPECT_EQ(back.starting, "100");
    EXPECT_EQ(back.ending, "200");
    EXPECT_EQ(slot.code(), 0);
}

TEST_F(BankrollFile, DirectoryOfThatName) {
    ASSERT_TRUE(CreateDirectoryW(roi_test::widen(file()).c_str(), nullptr));
    roi::ErrorSlot slot;
    EXPECT_FALSE(roi::writeBankroll("1", "2"));
    EXPECT_NE(slot.code(), 0);
    slot.clear();
    const roi::BankrollTexts back = roi::readBankroll();
    EXPECT_EQ(back.starting, "");
    EXPECT_EQ(back.ending, "");
    EXPECT_NE(slot.code(), 0);
    EXPECT_NE(GetFileAttributesW(roi_test::widen(file()).c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(BankrollFile, FileHeldByAnotherProgram) {
    ASSERT_TRUE(writeRaw(file(), "\"3\"\r\n\"4\"\r\n"));
    HANDLE other = CreateFileW(roi_test::widen(file()).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    roi::ErrorSlot slot;
    const bool saved = roi::writeBankroll("5", "6");
    const roi::BankrollTexts back = roi::readBankroll();
    CloseHandle(other);
    EXPECT_FALSE(saved);
    EXPECT_EQ(back.starting, "");
    EXPECT_EQ(back.ending, "");
    EXPECT_EQ(readRaw(file()), "\"3\"\r\n\"4\"\r\n");
    EXPECT_TRUE(roi::writeBankroll("5", "6"));  // once released, the save works again
}

TEST_F(BankrollFile, NoFileNameMeansNoSave) {
    roi::session().bankrollFileName.clear();
    roi::ErrorSlot slot;
    EXPECT_FALSE(roi::writeBankroll("1", "2"));
    EXPECT_EQ(slot.code(), 52);
    EXPECT_EQ(readRaw(file()), "<missing>");
}

TEST_F(BankrollFile, WriteReportsIntoTheCallersSlotOnlyOnFailure) {
    roi::ErrorSlot outer;
    EXPECT_TRUE(roi::writeBankroll("1", "2"));
    EXPECT_EQ(outer.code(), 0);
    {
        roi::ErrorSlot inner;  // the caller's slot is whichever is current
        roi::session().bankrollFileName = "bad?name";
        EXPECT_FALSE(roi::writeBankroll("3", "4"));
        EXPECT_NE(inner.code(), 0);
    }
    EXPECT_EQ(outer.code(), 0);
}

HANDLE holdUnshared(const std::string& path) {
    return CreateFileW(roi_test::widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// What makes a save fail: a failing system call (the seam), or something in the way.
enum class Cause { Seam, TemporaryHeld, TemporaryIsAFolder, FileHeld, FileIsAFolder };
struct FailedSave {
    const char* what;
    Cause cause;
    roi::SystemCall call;  // Seam only
    int nth;
    DWORD systemError;
    int code;  // the last one reported: after a failed open, a closed channel's 52
};
const std::string OLD_PAIR = "\"100\"\r\n\"200\"\r\n";

// The old file (or a folder in its place) and the failure's cause; a held handle goes to *held.
void arrangeTheFailure(const FailedSave& c, const std::string& file, const std::string& temporary, HANDLE* held) {
    if (c.cause == Cause::FileIsAFolder) {
        ASSERT_TRUE(DeleteFileW(roi_test::widen(file).c_str()));
        ASSERT_TRUE(CreateDirectoryW(roi_test::widen(file).c_str(), nullptr));
    } else {
        ASSERT_TRUE(writeRaw(file, OLD_PAIR));
    }
    switch (c.cause) {
    case Cause::Seam:
        roi_test::armFailingCall(c.call, c.nth, c.systemError);
        break;
    case Cause::TemporaryHeld:
        ASSERT_TRUE(writeRaw(temporary, "left by a crash"));
        *held = holdUnshared(temporary);
        ASSERT_NE(*held, INVALID_HANDLE_VALUE);
        break;
    case Cause::TemporaryIsAFolder:
        ASSERT_TRUE(CreateDirectoryW(roi_test::widen(temporary).c_str(), nullptr));
        break;
    case Cause::FileHeld:
        *held = holdUnshared(file);
        ASSERT_NE(*held, INVALID_HANDLE_VALUE);
        break;
    case Cause::FileIsAFolder:
        break;
    }
}

// Every step of a save failing in turn: the old file keeps its bytes, the save says it
// failed, and no temporary file is left behind where the save could remove it.
TEST_F(BankrollFile, AFailingStepLeavesTheOldFileWhole) {
    const FailedSave cases[] = {
        {"temporary file held open by another program", Cause::TemporaryHeld, {}, 0, 0, 52},
        {"a folder with the temporary file's name", Cause::TemporaryIsAFolder, {}, 0, 0, 52},
        {"emptying the temporary file", Cause::Seam, roi::SystemCall::Truncate, 1, ERROR_WRITE_PROTECT, 52},
        {"first value's closing quote", Cause::Seam, roi::SystemCall::Write, 3, ERROR_DISK_FULL, 61},
        {"second line end", Cause::Seam, roi::SystemCall::Write, 8, ERROR_HANDLE_DISK_FULL, 61},
        {"flush", Cause::Seam, roi::SystemCall::Flush, 1, ERROR_WRITE_FAULT, 72},
        {"close's truncation", Cause::Seam, roi::SystemCall::Truncate, 2, ERROR_LOCK_VIOLATION, 70},
        {"close's handle", Cause::Seam, roi::SystemCall::Close, 1, ERROR_INVALID_HANDLE, 57},
        {"replacing a file held open by another program", Cause::FileHeld, {}, 0, 0, 70},
        {"replacing a folder", Cause::FileIsAFolder, {}, 0, 0, 70},
    };
    for (const FailedSave& c : cases) {
        SCOPED_TRACE(c.what);
        HANDLE held = INVALID_HANDLE_VALUE;
        ASSERT_NO_FATAL_FAILURE(arrangeTheFailure(c, file(), temporary(), &held));
        roi::ErrorSlot slot;
        EXPECT_FALSE(roi::writeBankroll("5", "6"));
        EXPECT_EQ(slot.code(), c.code);
        roi::setSystemCallSeam(nullptr);
        if (held != INVALID_HANDLE_VALUE) {
            CloseHandle(held);
        }
        if (c.cause == Cause::FileIsAFolder) {
            EXPECT_NE(GetFileAttributesW(roi_test::widen(file()).c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
            ASSERT_TRUE(RemoveDirectoryW(roi_test::widen(file()).c_str()));
        } else {
            EXPECT_EQ(readRaw(file()), OLD_PAIR);
        }
        if (c.cause == Cause::TemporaryIsAFolder) {
            ASSERT_TRUE(RemoveDirectoryW(roi_test::widen(temporary()).c_str()));
        } else if (c.cause == Cause::TemporaryHeld) {
            EXPECT_EQ(readRaw(temporary()), "left by a crash");  // not ours to remove while held
        } else {
            EXPECT_EQ(readRaw(temporary()), "<missing>");
        }
        // Once the cause has gone, the next save works and tidies up.
        expectASaveThatTidiesUp();
    }
}

TEST_F(BankrollFile, ALeftoverTemporaryFileIsNeverReadAndGoesWithTheNextSave) {
    ASSERT_TRUE(writeRaw(file(), "\"1\"\r\n\"2\"\r\n"));
    ASSERT_TRUE(writeRaw(temporary(), "\"999\"\r\n\"999\"\r\n and more than a save writes"));
    roi::ErrorSlot slot;
    const roi::BankrollTexts read = roi::readBankroll();
    EXPECT_EQ(read.starting, "1");
    EXPECT_EQ(read.ending, "2");
    EXPECT_EQ(slot.code(), 0);
    expectASaveThatTidiesUp();
}

// The history after appends of rows: the time is cut off each line, which must have
// one, and what is left of the file is compared whole.
std::string withoutTimes(const std::string& bytes, std::size_t from) {
    std::string rest = bytes.substr(0, from);
    for (std::size_t at = from; at < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", at);
        const std::string line = bytes.substr(at, end == std::string::npos ? std::string::npos : end + 2 - at);
        rest += line.size() > 19 && line[4] == '-' && line[13] == ':' ? line.substr(19) : "<no time>" + line;
        at += line.size();
    }
    return rest;
}

const std::string HEADER = "time,action,won,bet,made,wins,net,starting,ending\r\n";
const std::string ZERO_ROW = ",CLEAR BANKROLLS,,,,,,0,0\r\n";

// A missing or empty file gets the header first; a row cut off by a crash is ended
// first (its quoted field closed too), so it never runs into the new one; and nothing
// already in the file changes.
TEST_F(BankrollFile, HistoryRowGoesAfterWhateverTheFileHolds) {
    const std::string longRow(70000, '9');  // more than one read of the file
    const struct {
        const char* what;
        std::optional<std::string> before;  // none: no file
        std::string kept;                   // what comes before the new row
    } cases[] = {
        {"no file", std::nullopt, HEADER},
        {"an empty file", "", HEADER},
        {"whole rows", "time\r\nrow\r\n", "time\r\nrow\r\n"},
        {"a row cut off", "time\r\n2026-01", "time\r\n2026-01\r\n"},
        {"a row cut off in quotes", "time\r\nx,\"1,0", "time\r\nx,\"1,0\"\r\n"},
        {"a row cut off in quotes past the first read", "time\r\n" + longRow + ",\"1",
         "time\r\n" + longRow + ",\"1\"\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW(roi_test::widen(history()).c_str());
        if (c.before) {
            ASSERT_TRUE(writeRaw(history(), *c.before));
        }
        roi::ErrorSlot slot;
        EXPECT_TRUE(roi::appendHistory(roi::pairRow(roi::HistoryAction::ClearBankrolls, {"0", "0"})));
        EXPECT_EQ(slot.code(), 0);
        const std::string bytes = readRaw(history());
        ASSERT_GE(bytes.size(), c.kept.size());
        EXPECT_EQ(bytes.substr(0, c.kept.size()), c.kept);
        EXPECT_EQ(withoutTimes(bytes, c.kept.size()).substr(c.kept.size()), ZERO_ROW);
    }
}

}  // namespace
