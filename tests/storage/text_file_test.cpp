// The text file layer against real files in a private temp directory. Every code is
// read from an ErrorSlot, as a routine of the program would own one.
#include "storage/text_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "app/runtime.h"
#include "tests/support/failing_call.h"
#include "tests/support/temp_dir.h"

namespace {

using roi_test::bytes;
using roi_test::hex;
using roi_test::readRaw;
using roi_test::TempDir;
using roi_test::writeRaw;

// The code one operation leaves in its caller's slot (0: none), which an operation
// that returns a code must return too.
template <class Operation>
int codeOf(const Operation& operation) {
    roi::ErrorSlot slot;
    if constexpr (std::is_void_v<std::invoke_result_t<const Operation&>>) {
        operation();
    } else {
        const int returned = operation();
        EXPECT_EQ(returned, slot.code());
    }
    return slot.code();
}

struct FieldRead {
    std::string text;
    int code;
};

FieldRead readOne(roi::Channel channel) {
    FieldRead read{"left over", 0};
    read.code = codeOf([&] { return roi::readField(channel, read.text); });
    return read;
}

// readField's code alone.
int readCode(roi::Channel channel) {
    std::string field;
    return roi::readField(channel, field);
}

std::string show(const std::vector<FieldRead>& reads) {
    std::string out;
    for (const FieldRead& read : reads) {
        out += "[" + hex(read.text) + "]" + std::to_string(read.code) + " ";
    }
    return out;
}

// A file operation, with new.txt ("from") and old.txt ("to") before and after it.
struct FileOperation {
    const char* what;
    const char* fromBytes;  // null: no such file
    const char* toBytes;
    std::function<int()> operation;
    int code;
    const char* fromAfter;  // "<missing>" once gone
    const char* toAfter;
};

class TextFile : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.created());
        roi::setSystemCallSeam(nullptr);
    }
    void TearDown() override {
        roi::setSystemCallSeam(nullptr);
        for (roi::Channel channel = 0; channel < 8; ++channel) {
            roi::ErrorSlot slot;
            (void)roi::closeChannel(channel);
        }
    }
    // Runs each row on new.txt and old.txt as the row sets them up.
    void expectEach(const std::vector<FileOperation>& rows) {
        for (const FileOperation& c : rows) {
            SCOPED_TRACE(c.what);
            DeleteFileW(roi_test::widen(from_).c_str());
            DeleteFileW(roi_test::widen(to_).c_str());
            if (c.fromBytes != nullptr) {
                ASSERT_TRUE(writeRaw(from_, c.fromBytes));
            }
            if (c.toBytes != nullptr) {
                ASSERT_TRUE(writeRaw(to_, c.toBytes));
            }
            EXPECT_EQ(codeOf(c.operation), c.code);
            EXPECT_EQ(readRaw(from_), c.fromAfter);
            EXPECT_EQ(readRaw(to_), c.toAfter);
        }
    }
    TempDir dir_;
    const std::string from_ = dir_.file("new.txt");
    const std::string to_ = dir_.file("old.txt");
};

TEST_F(TextFile, WritesQuotedItemsAndLineEnds) {
    struct Case {
        const char* name;
        const char* before;              // null: the file does not exist yet
        std::vector<std::string> items;  // "\n" stands for endLine
        std::string expected;
    };
    const Case cases[] = {
        {"zeros.txt",
         nullptr,
         {"0", "\n", "0", "\n"},
         bytes({0x22, 0x30, 0x22, 0x0D, 0x0A, 0x22, 0x30, 0x22, 0x0D, 0x0A})},
        // an existing longer file is emptied first
        {"longer.txt",
         "a much longer old content, more than ten bytes\r\n",
         {"0", "\n", "0", "\n"},
         bytes({0x22, 0x30, 0x22, 0x0D, 0x0A, 0x22, 0x30, 0x22, 0x0D, 0x0A})},
        {"empty.txt", nullptr, {""}, bytes({0x22, 0x22})},
        {"quote.txt", nullptr, {"a\"b"}, bytes({0x22, 0x61, 0x22, 0x62, 0x22})},  // not escaped
        {"raw.txt", nullptr, {bytes({0x00, 0xFF, 0x0D, 0x2C})}, bytes({0x22, 0x00, 0xFF, 0x0D, 0x2C, 0x22})},
        {"lines.txt", nullptr, {"\n", "\n"}, "\r\n\r\n"},
        {"nothing.txt", "old", {}, ""},  // open and close alone empty the file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.file(c.name);
        if (c.before != nullptr) {
            ASSERT_TRUE(writeRaw(path, c.before));
        }
        EXPECT_EQ(codeOf([&] { return roi::openWrite(1, path); }), 0);
        for (const std::string& item : c.items) {
            if (item == "\n") {
                EXPECT_EQ(codeOf([] { return roi::endLine(1); }), 0);
            } else {
                EXPECT_EQ(codeOf([&] { return roi::writeQuoted(1, item); }), 0);
            }
        }
        EXPECT_EQ(codeOf([] { return roi::closeChannel(1); }), 0);
        EXPECT_EQ(hex(readRaw(path)), hex(c.expected));
    }
}

// The field rules themselves are tested over memory (core); these rows check that a
// channel feeds them the file's bytes and reports 62 at the end.
TEST_F(TextFile, ReadsFieldsByTheFieldRules) {
    struct Case {
        std::string data;
        std::vector<FieldRead> reads;
    };
    const Case cases[] = {
        {bytes({0x22, 0x31, 0x30, 0x30, 0x30, 0x22, 0x0D, 0x0A, 0x22, 0x31, 0x30, 0x35, 0x30, 0x2E, 0x35, 0x22, 0x0D,
                0x0A}),
         {{"1000", 0}, {"1050.5", 0}, {"", 62}}},
        {"", {{"", 62}, {"", 62}}},  // empty data fails each time
        {bytes({0x0D, 0x0D, 0x0A, 0x39}), {{"", 0}, {"", 0}, {"9", 0}, {"", 62}}},
        {bytes({0x22, 0x78, 0x22, 0x79, 0x0D, 0x0A}), {{"x", 0}, {"y", 0}, {"", 62}}},
        {bytes({0x22, 0x75, 0x6E}), {{"un", 0}, {"", 62}}},           // unterminated quote
        {bytes({0x31, 0x1A, 0x32}), {{"1", 0}, {"", 62}, {"", 62}}},  // 0x1A ends the data for reading
    };
    int serial = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(hex(c.data));
        const std::string path = dir_.file("read" + std::to_string(serial++) + ".txt");
        ASSERT_TRUE(writeRaw(path, c.data));
        ASSERT_EQ(codeOf([&] { return roi::openRead(1, path); }), 0);
        std::vector<FieldRead> reads;
        for (std::size_t i = 0; i < c.reads.size(); ++i) {
            reads.push_back(readOne(1));
        }
        EXPECT_EQ(codeOf([] { return roi::closeChannel(1); }), 0);
        EXPECT_EQ(show(reads), show(c.reads));
        EXPECT_EQ(hex(readRaw(path)), hex(c.data));  // reading leaves the file alone
    }
}

TEST_F(TextFile, FieldsLongerThanTheBufferComeBackWhole) {
    std::string digits;
    for (int i = 0; i < 300; ++i) {
        digits.push_back(static_cast<char>('0' + i % 10));
    }
    const std::string data = "\"" + digits + "\"\r\n" + digits + "\r\n";
    const std::string path = dir_.file("long.txt");
    ASSERT_TRUE(writeRaw(path, data));
    ASSERT_EQ(codeOf([&] { return roi::openRead(2, path); }), 0);
    const std::vector<FieldRead> reads = {readOne(2), readOne(2), readOne(2)};
    EXPECT_EQ(roi::closeChannel(2), 0);
    EXPECT_EQ(show(reads), show({{digits, 0}, {digits, 0}, {"", 62}}));
}

TEST_F(TextFile, WrittenValuesOfManyBuffersReadBack) {
    // About 2.5 KB: many refills of the 128-byte buffer, fields across their edges.
    std::vector<std::string> values;
    for (int i = 0; i < 150; ++i) {
        values.push_back(std::to_string(i * 7919) + "." + std::string(static_cast<std::size_t>(i % 13), '5'));
    }
    const std::string path = dir_.file("many.txt");
    ASSERT_EQ(codeOf([&] { return roi::openWrite(3, path); }), 0);
    for (const std::string& value : values) {
        ASSERT_EQ(codeOf([&] { return roi::writeQuoted(3, value); }), 0);
        ASSERT_EQ(codeOf([] { return roi::endLine(3); }), 0);
    }
    ASSERT_EQ(codeOf([] { return roi::closeChannel(3); }), 0);
    ASSERT_GT(readRaw(path).size(), 2000u);
    ASSERT_EQ(codeOf([&] { return roi::openRead(3, path); }), 0);
    for (const std::string& value : values) {
        const FieldRead read = readOne(3);
        ASSERT_EQ(read.text, value);
        ASSERT_EQ(read.code, 0);
    }
    EXPECT_EQ(readOne(3).code, 62);
    EXPECT_EQ(roi::closeChannel(3), 0);
}

TEST_F(TextFile, EndMarkBeyondTheFirstBuffer) {
    const std::string data = std::string(200, 'x') + "\r\n" + "12" + bytes({0x1A}) + "34\r\n";
    const std::string path = dir_.file("mark.txt");
    ASSERT_TRUE(writeRaw(path, data));
    ASSERT_EQ(roi::openRead(1, path), 0);
    const std::vector<FieldRead> reads = {readOne(1), readOne(1), readOne(1), readOne(1)};
    EXPECT_EQ(roi::closeChannel(1), 0);
    EXPECT_EQ(show(reads), show({{std::string(200, 'x'), 0}, {"12", 0}, {"", 62}, {"", 62}}));
}

TEST_F(TextFile, ErrorCodesFromRealConditions) {
    const std::string missing = dir_.file("missing.txt");
    const std::string existing = dir_.file("existing.txt");
    const std::string readOnly = dir_.file("readonly.txt");
    const std::string directory = dir_.file("folder");
    const std::string noFolder = dir_.file("nofolder\\x.txt");
    ASSERT_TRUE(writeRaw(existing, "\"5\"\r\n"));
    ASSERT_TRUE(writeRaw(readOnly, "\"100\"\r\n\"200\"\r\n"));
    const bool readOnlyWorks = roi_test::makeReadOnly(readOnly);
    ASSERT_TRUE(CreateDirectoryW(roi_test::widen(directory).c_str(), nullptr));

    struct Case {
        const char* what;
        std::function<int()> operation;
        int code;
    };
    const Case cases[] = {
        {"read missing file", [&] { return roi::openRead(1, missing); }, 53},
        {"read in missing folder", [&] { return roi::openRead(1, noFolder); }, 76},
        {"write in missing folder", [&] { return roi::openWrite(1, noFolder); }, 76},
        {"write directory", [&] { return roi::openWrite(1, directory); }, 70},
        {"read directory", [&] { return roi::openRead(1, directory); }, 70},
        {"empty path read", [&] { return roi::openRead(1, ""); }, 64},
        {"empty path write", [&] { return roi::openWrite(1, ""); }, 64},
        {"star read", [&] { return roi::openRead(1, dir_.file("*.txt")); }, 64},
        {"question write", [&] { return roi::openWrite(1, dir_.file("a?.txt")); }, 64},
        {"negative channel read", [&] { return roi::openRead(-1, existing); }, 52},
        {"lowest channel write", [&] { return roi::openWrite(-32768, existing); }, 52},
        {"bad path before bad channel", [&] { return roi::openRead(-1, ""); }, 64},
        {"write on closed channel", [] { return roi::writeQuoted(4, "x"); }, 52},
        {"line end on closed channel", [] { return roi::endLine(4); }, 52},
        {"read on closed channel", [] { return readCode(4); }, 52},
        {"close of closed channel", [] { return roi::closeChannel(4); }, 0},  // no error
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(codeOf(c.operation), c.code);
        EXPECT_EQ(codeOf([] { return roi::closeChannel(1); }), 0);  // a failed open leaves nothing to close
    }
    EXPECT_EQ(readRaw(missing), "<missing>");  // a failed read open creates nothing
    if (!readOnlyWorks) {
        GTEST_SKIP() << roi_test::READ_ONLY_NOT_ENFORCED;
    }
    EXPECT_EQ(codeOf([&] { return roi::openWrite(1, readOnly); }), 70);
    EXPECT_EQ(readRaw(readOnly), "\"100\"\r\n\"200\"\r\n");  // untouched
}

TEST_F(TextFile, FailedOpenThenWritesAndCloseChangeNothing) {
    // The directory case: an open that fails for a real reason.
    const std::string directory = dir_.file("dir.txt");
    ASSERT_TRUE(CreateDirectoryW(roi_test::widen(directory).c_str(), nullptr));
    const std::vector<int> directoryCodes = {
        codeOf([&] { return roi::openWrite(1, directory); }), codeOf([] { return roi::writeQuoted(1, "0"); }),
        codeOf([] { return roi::endLine(1); }), codeOf([] { return roi::closeChannel(1); }),
        codeOf([] { return readCode(1); })};
    EXPECT_EQ(directoryCodes, (std::vector<int>{70, 52, 52, 0, 52}));
    EXPECT_NE(GetFileAttributesW(roi_test::widen(directory).c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);

    const std::string readOnly = dir_.file("keep.txt");
    ASSERT_TRUE(writeRaw(readOnly, "old"));
    if (!roi_test::makeReadOnly(readOnly)) {
        GTEST_SKIP() << roi_test::READ_ONLY_NOT_ENFORCED;
    }
    const std::vector<int> codes = {codeOf([&] { return roi::openWrite(1, readOnly); }),
                                    codeOf([] { return roi::writeQuoted(1, "0"); }),
                                    codeOf([] { return roi::endLine(1); }), codeOf([] { return roi::closeChannel(1); }),
                                    codeOf([] { return readCode(1); })};
    EXPECT_EQ(codes, (std::vector<int>{70, 52, 52, 0, 52}));
    EXPECT_EQ(readRaw(readOnly), "old");
}

TEST_F(TextFile, ChannelStateErrors) {
    const std::string first = dir_.file("first.txt");
    const std::string second = dir_.file("second.txt");
    ASSERT_TRUE(writeRaw(second, "\"7\"\r\n"));
    ASSERT_EQ(codeOf([&] { return roi::openWrite(0, first); }), 0);  // channel 0 is allowed
    ASSERT_EQ(codeOf([&] { return roi::openRead(32767, second); }), 0);

    struct Case {
        const char* what;
        std::function<int()> operation;
        int code;
    };
    const Case cases[] = {
        {"read open on a writing channel", [&] { return roi::openRead(0, second); }, 55},
        {"write open on a reading channel", [&] { return roi::openWrite(32767, first); }, 55},
        {"read on a writing channel", [] { return readCode(0); }, 54},
        {"quoted write on a reading channel", [] { return roi::writeQuoted(32767, "x"); }, 54},
        {"line end on a reading channel", [] { return roi::endLine(32767); }, 54},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(codeOf(c.operation), c.code);
    }
    // The refusals left both channels working.
    EXPECT_EQ(codeOf([] { return roi::writeQuoted(0, "ok"); }), 0);
    EXPECT_EQ(readOne(32767).text, "7");
    EXPECT_EQ(codeOf([] { return roi::closeChannel(0); }), 0);
    EXPECT_EQ(codeOf([] { return roi::closeChannel(32767); }), 0);
    EXPECT_EQ(readRaw(first), "\"ok\"");
}

TEST_F(TextFile, OpenChannelHoldsTheFileWithoutSharing) {
    const std::string path = dir_.file("held.txt");
    ASSERT_TRUE(writeRaw(path, "\"1\"\r\n"));

    // Held by another handle without sharing: both opens fail.
    HANDLE other = CreateFileW(roi_test::widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(codeOf([&] { return roi::openRead(1, path); }), 70);
    EXPECT_EQ(codeOf([&] { return roi::openWrite(1, path); }), 70);
    CloseHandle(other);

    // Held by a channel: another channel and any other opener are refused.
    ASSERT_EQ(codeOf([&] { return roi::openRead(1, path); }), 0);
    EXPECT_EQ(codeOf([&] { return roi::openRead(2, path); }), 70);
    HANDLE probe = CreateFileW(roi_test::widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(probe, INVALID_HANDLE_VALUE);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
    }
    EXPECT_EQ(roi::closeChannel(1), 0);
    EXPECT_EQ(codeOf([&] { return roi::openRead(2, path); }), 0);  // closing released the file
    EXPECT_EQ(roi::closeChannel(2), 0);
}

TEST_F(TextFile, FileAttributes) {
    const std::string file = dir_.file("plain.txt");
    ASSERT_TRUE(writeRaw(file, "x"));
    constexpr long ANY_ERROR = -1;
    struct Case {
        std::string path;
        bool expectBits;  // false: result 0
        DWORD mustHave;
        DWORD mustLack;
        int code;
        long systemError;  // what the caller is told; missing is told apart from the rest
    };
    const Case cases[] = {
        {roi_test::narrow(dir_.wide()), true, FILE_ATTRIBUTE_DIRECTORY, 0, 0, 0},
        {file, true, 0, FILE_ATTRIBUTE_DIRECTORY, 0, 0},
        {dir_.file("nothing.txt"), false, 0, 0, 53, ERROR_FILE_NOT_FOUND},
        {dir_.file("no folder\\nothing.txt"), false, 0, 0, 53, ERROR_PATH_NOT_FOUND},
        {dir_.file("pl?in.txt"), false, 0, 0, 64, 0},  // refused before the system sees it
        {dir_.file("*"), false, 0, 0, 64, 0},
        {"", false, 0, 0, 53, ANY_ERROR},  // only the opens refuse an empty path with 64
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::uint32_t attributes = 0xDEAD;
        std::uint32_t systemError = 0xDEAD;
        const int code = codeOf([&] { attributes = roi::fileAttributes(c.path, &systemError); });
        EXPECT_EQ(code, c.code);
        if (c.systemError == ANY_ERROR) {
            EXPECT_NE(systemError, 0u);
        } else {
            EXPECT_EQ(systemError, static_cast<std::uint32_t>(c.systemError));
        }
        EXPECT_EQ(roi::fileAttributes(c.path), attributes);  // the same without asking why
        if (c.expectBits) {
            EXPECT_NE(attributes, 0u);
            EXPECT_EQ(attributes & c.mustHave, c.mustHave);
            EXPECT_EQ(attributes & c.mustLack, 0u);
        } else {
            EXPECT_EQ(attributes, 0u);
        }
    }
}

TEST_F(TextFile, ReplaceFileMovesAFileOverAnotherButNeverOverAFolder) {
    const std::string folder = dir_.file("folder");
    ASSERT_TRUE(CreateDirectoryW(roi_test::widen(folder).c_str(), nullptr));
    const auto replace = [](const std::string& from, const std::string& to) {
        return [from, to] { return roi::replaceFile(from, to); };
    };
    expectEach({
        {"replace an existing file", "new", "old", replace(from_, to_), 0, "<missing>", "new"},
        {"replace where there is no file yet", "new", nullptr, replace(from_, to_), 0, "<missing>", "new"},
        {"replace from a missing file", nullptr, "old", replace(from_, to_), 53, "<missing>", "old"},
        {"replace a folder", "new", nullptr, replace(from_, folder), 70, "new", "<missing>"},
        {"replace with an empty name", "new", "old", replace(from_, ""), 64, "new", "old"},
        {"replace with a wildcard", "new", "old", replace(dir_.file("n?w.txt"), to_), 64, "new", "old"},
    });
    EXPECT_NE(GetFileAttributesW(roi_test::widen(folder).c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(TextFile, RemoveFileDeletesOnlyAFileThatIsThere) {
    expectEach({
        {"remove a file", "new", "old", [&] { return roi::removeFile(from_); }, 0, "<missing>", "old"},
        {"remove a missing file", nullptr, "old", [&] { return roi::removeFile(from_); }, 53, "<missing>", "old"},
        {"remove an empty name", "new", "old", [] { return roi::removeFile(""); }, 64, "new", "old"},
    });
}

TEST_F(TextFile, FlushWritesOutAChannelOpenForWriting) {
    // Opens channel 1 on path, writes text when there is any, flushes and closes; the
    // flush's code.
    const auto flushOpened = [](bool forWriting, const std::string& path, const char* text) {
        return [=] {
            EXPECT_EQ(forWriting ? roi::openWrite(1, path) : roi::openRead(1, path), 0);
            if (text != nullptr) {
                EXPECT_EQ(roi::writeQuoted(1, text), 0);
            }
            const int code = roi::flush(1);
            EXPECT_EQ(roi::closeChannel(1), 0);
            return code;
        };
    };
    expectEach({
        {"flush a closed channel", "new", "old", [] { return roi::flush(1); }, 52, "new", "old"},
        {"flush a channel open for reading", "new", "old", flushOpened(false, from_, nullptr), 54, "new", "old"},
        {"flush a channel open for writing", "new", "old", flushOpened(true, from_, "7"), 0, "\"7\"", "old"},
        {"flush a device", "new", "old", flushOpened(true, "NUL", nullptr), 0, "new", "old"},
    });
}

TEST_F(TextFile, PathIsCutAfter255Units) {
    const std::string folder = roi_test::narrow(dir_.wide()) + "\\";
    ASSERT_LT(folder.size(), 200u);
    const std::string kept = folder + std::string(255 - folder.size(), 'n');  // exactly 255 units
    // Wildcards beyond unit 255 are cut off with the rest: the file is made under the kept part.
    EXPECT_EQ(codeOf([&] { return roi::openWrite(1, kept + "tail*?"); }), 0);
    EXPECT_EQ(codeOf([] { return roi::closeChannel(1); }), 0);
    EXPECT_EQ(readRaw(kept), "");
    EXPECT_EQ(codeOf([&] { roi::fileAttributes(kept + "?"); }), 0);
    // A wildcard at unit 255 is kept, and refused.
    const std::string lastUnit = kept.substr(0, 254) + "*";
    EXPECT_EQ(codeOf([&] { return roi::openWrite(1, lastUnit + "more"); }), 64);
    EXPECT_EQ(codeOf([&] { roi::fileAttributes(lastUnit); }), 64);
}

TEST_F(TextFile, PathUsesTheThreadsCodePage) {
    roi::ThreadRecord& record = roi::threadRecord();
    const UINT saved = record.codePage;
    struct Case {
        UINT codePage;
        std::string name;
    };
    const Case cases[] = {
        {CP_UTF8, "caf\xC3\xA9.txt"},
        {1252, "caf\xE9.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        record.codePage = c.codePage;
        const int code = codeOf([&] { return roi::openWrite(1, roi_test::narrow(dir_.wide()) + "\\" + c.name); });
        record.codePage = saved;
        EXPECT_EQ(code, 0);
        EXPECT_EQ(codeOf([] { return roi::closeChannel(1); }), 0);
        const std::wstring expected = dir_.wideFile(L"caf\u00E9.txt");
        EXPECT_NE(GetFileAttributesW(expected.c_str()), INVALID_FILE_ATTRIBUTES);
        DeleteFileW(expected.c_str());
    }
}

TEST_F(TextFile, DeviceChannels) {
    // NUL is a character device: no emptying, no seeking; reading meets the end at once.
    EXPECT_EQ(codeOf([] { return roi::openWrite(1, "NUL"); }), 0);
    EXPECT_EQ(codeOf([] { return roi::writeQuoted(1, "x"); }), 0);
    EXPECT_EQ(codeOf([] { return roi::endLine(1); }), 0);
    EXPECT_EQ(codeOf([] { return roi::closeChannel(1); }), 0);
    EXPECT_EQ(codeOf([] { return roi::openRead(1, "NUL"); }), 0);
    EXPECT_EQ(show({readOne(1), readOne(1)}), show({{"", 62}, {"", 62}}));
    EXPECT_EQ(codeOf([] { return roi::closeChannel(1); }), 0);
}

// Seams: failures a real file cannot be made to produce, and a call that leaves the
// x87 unit at 53-bit precision.
using roi_test::armFailingCall;

TEST_F(TextFile, WriteFailingPartWayKeepsEarlierPieces) {
    const std::string path = dir_.file("partial.txt");
    ASSERT_EQ(codeOf([&] { return roi::openWrite(1, path); }), 0);
    armFailingCall(roi::SystemCall::Write, 2, ERROR_DISK_FULL);  // the text piece fails
    EXPECT_EQ(codeOf([] { return roi::writeQuoted(1, "abc"); }), 61);
    EXPECT_EQ(codeOf([] { return roi::endLine(1); }), 0);  // the channel stays open for the next piece
    roi::setSystemCallSeam(nullptr);
    EXPECT_EQ(codeOf([] { return roi::closeChannel(1); }), 0);
    // The seam fails the text piece after it reached the file; the closing quote is never
    // written, the line end after it is.
    EXPECT_EQ(readRaw(path), "\"abc\r\n");
}

TEST_F(TextFile, SystemErrorsInsideOperations) {
    const std::string path = dir_.file("seam.txt");
    const std::string longData = "\"" + std::string(200, '9') + "\"\r\n";
    struct Case {
        const char* what;
        roi::SystemCall call;
        int nth;
        DWORD systemError;
        bool forReading;
        int openCode;
        int readCode;  // of the first readField (reading)
        int closeCode;
    };
    const Case cases[] = {
        // GetFileType's outcome never counts as a failure
        {"file type", roi::SystemCall::FileType, 1, ERROR_INVALID_FUNCTION, true, 0, 0, 0},
        {"open's seek", roi::SystemCall::Seek, 1, ERROR_SEEK, true, 72, 52, 0},
        {"open's first read", roi::SystemCall::Read, 1, ERROR_CRC, true, 72, 52, 0},
        {"write open's truncation", roi::SystemCall::Truncate, 1, ERROR_WRITE_PROTECT, false, 70, 0, 0},
        {"refill's read", roi::SystemCall::Read, 2, ERROR_NOT_READY, true, 0, 71, 0},
        {"refill's seek", roi::SystemCall::Seek, 2, ERROR_NEGATIVE_SEEK, true, 0, 75, 0},  // 131: every error from 40
        {"close's truncation", roi::SystemCall::Truncate, 2, ERROR_LOCK_VIOLATION, false, 0, 0, 70},
        {"close's handle", roi::SystemCall::Close, 1, ERROR_INVALID_HANDLE, true, 0, 0, 57},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(writeRaw(path, longData));
        armFailingCall(c.call, c.nth, c.systemError);
        if (c.forReading) {
            EXPECT_EQ(codeOf([&] { return roi::openRead(1, path); }), c.openCode);
            EXPECT_EQ(readOne(1).code, c.readCode);
        } else {
            EXPECT_EQ(codeOf([&] { return roi::openWrite(1, path); }), c.openCode);
        }
        EXPECT_EQ(codeOf([] { return roi::closeChannel(1); }), c.closeCode);
        roi::setSystemCallSeam(nullptr);
        // Whatever failed, the channel is closed and the file free again.
        EXPECT_EQ(codeOf([&] { return roi::openRead(1, path); }), 0);
        EXPECT_EQ(codeOf([] { return roi::closeChannel(1); }), 0);
    }
}

long double third() {
    volatile long double one = 1.0L;
    volatile long double three = 3.0L;
    return one / three;
}

void leave53BitPrecision(roi::SystemCall) {
    roi::loadControlWord(0x027F);
}

TEST_F(TextFile, ExtendedPrecisionSurvivesSystemCalls) {
    roi::loadWorkingControlWord();
    // What the seam does on its own: a later division loses the extended digits.
    leave53BitPrecision(roi::SystemCall::Open);
    EXPECT_EQ(third(), 0x1.5555555555555p-2L);
    roi::loadWorkingControlWord();

    // Inside the layer the same change is undone after each call.
    roi::setSystemCallSeam(leave53BitPrecision);
    const std::string path = dir_.file("precision.txt");
    EXPECT_EQ(codeOf([&] { return roi::openWrite(1, path); }), 0);
    EXPECT_EQ(third(), 0x1.5555555555555556p-2L);
    EXPECT_EQ(codeOf([] { return roi::writeQuoted(1, "1"); }), 0);
    EXPECT_EQ(codeOf([] { return roi::closeChannel(1); }), 0);
    EXPECT_EQ(codeOf([&] { return roi::openRead(1, path); }), 0);
    EXPECT_EQ(readOne(1).text, "1");
    EXPECT_EQ(roi::closeChannel(1), 0);
    roi::setSystemCallSeam(nullptr);
    EXPECT_EQ(third(), 0x1.5555555555555556p-2L);
    EXPECT_EQ(roi::currentControlWord() & roi::CONTROL_WORD_BITS, roi::WORKING_CONTROL_WORD);
}

// Several threads, each on its own channel and file, at the same time.
struct Worker {
    roi::Channel channel;
    std::string path;
    int rounds;
    int mismatches = 0;
    int codes = 0;
};

DWORD WINAPI workerThread(LPVOID parameter) {
    auto* worker = static_cast<Worker*>(parameter);
    for (int round = 0; round < worker->rounds; ++round) {
        const std::string first = std::to_string(worker->channel * 100000 + round);
        const std::string second = std::string(static_cast<std::size_t>(round % 150), 'z');
        roi::ErrorSlot slot;
        std::string readFirst;
        std::string readSecond;
        // Not 0 once any step has returned a code.
        int returned = roi::openWrite(worker->channel, worker->path);
        returned |= roi::writeQuoted(worker->channel, first);
        returned |= roi::endLine(worker->channel);
        returned |= roi::writeQuoted(worker->channel, second);
        returned |= roi::endLine(worker->channel);
        returned |= roi::closeChannel(worker->channel);
        returned |= roi::openRead(worker->channel, worker->path);
        returned |= roi::readField(worker->channel, readFirst);
        returned |= roi::readField(worker->channel, readSecond);
        returned |= roi::closeChannel(worker->channel);
        if (readFirst != first || readSecond != second) {
            ++worker->mismatches;
        }
        if (slot.code() != 0 || returned != 0) {
            ++worker->codes;
        }
    }
    roi::releaseThreadRecord();
    return 0;
}

TEST_F(TextFile, ThreadsOnDifferentChannelsDoNotDisturbEachOther) {
    Worker workers[] = {{2, dir_.file("t2.txt"), 150}, {3, dir_.file("t3.txt"), 150}, {5, dir_.file("t5.txt"), 150}};
    std::vector<HANDLE> threads;
    for (Worker& worker : workers) {
        HANDLE thread = CreateThread(nullptr, 0, workerThread, &worker, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        threads.push_back(thread);
    }
    const DWORD waited = WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, 120000);
    for (HANDLE thread : threads) {
        CloseHandle(thread);
    }
    ASSERT_EQ(waited, WAIT_OBJECT_0);
    for (const Worker& worker : workers) {
        SCOPED_TRACE(worker.channel);
        EXPECT_EQ(worker.mismatches, 0);
        EXPECT_EQ(worker.codes, 0);
    }
    // Every channel was closed: the numbers are free again.
    for (const Worker& worker : workers) {
        EXPECT_EQ(codeOf([&] { return roi::openRead(worker.channel, worker.path); }), 0);
        EXPECT_EQ(roi::closeChannel(worker.channel), 0);
    }
}

}  // namespace
