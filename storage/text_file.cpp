// Numbered channels over Win32 file handles: unbuffered quoted writes, reads through
// a 128-byte buffer by the field rules of core/field_scanner.h, silent error codes.
// The channel table, the opens and the system calls each have a lock; the open lock
// is outermost, the other two are never held together.
#include "storage/text_file.h"

#include <windows.h>

#include <cstddef>
#include <new>
#include <string>
#include <utility>

#include "app/code_page.h"
#include "app/runtime.h"
#include "app/scoped_handle.h"
#include "app/spin_lock.h"
#include "app/system_call.h"
#include "core/field_scanner.h"
#include "core/file_errors.h"

namespace roi {

namespace {

constexpr std::uint16_t KIND_DISK = 1;
constexpr std::uint16_t KIND_DEVICE = 2;
constexpr std::uint8_t MODE_WRITE = 0x02;
constexpr std::uint8_t MODE_READ = 0x01;
constexpr std::uint8_t MODE_APPEND = 0x04;
constexpr std::uint32_t READ_RECORD_LENGTH = 128;
constexpr std::uint32_t WRITE_RECORD_LENGTH = 1;
constexpr std::size_t MAX_PATH_UNITS = 255;
constexpr UINT QUIET_ERROR_MODE = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
static_assert(QUIET_ERROR_MODE == 0x8001);
// More bytes than can ever make 255 UTF-16 units in any code page; keeps the count an int.
constexpr std::size_t MAX_PATH_BYTES = 4096;
// Largest piece handed to one WriteFile; a text longer than this (never seen) is split.
constexpr std::size_t MAX_WRITE_PIECE = 0x40000000;
// What readPiece asks one ReadFile for: a file of years of history in a few reads.
constexpr DWORD APPEND_READ_PIECE = 0x10000;

struct ChannelRecord {
    ChannelRecord* next = nullptr;
    Channel number = 0;
    HANDLE handle = nullptr;
    std::uint16_t kind = 0;
    std::uint8_t mode = 0;
    std::wstring path;
    std::uint64_t position = 0;
    std::uint32_t recordLength = 0;
    std::uint32_t index = 0;
    std::uint32_t filled = 0;

    // The buffer follows the record in the same block.
    unsigned char* buffer() { return reinterpret_cast<unsigned char*>(this + 1); }
};

ChannelRecord* channels = nullptr;
SpinLock openLock;
SpinLock tableLock;
SpinLock systemCallLock;
SystemCallSeam systemCallSeam = nullptr;
// The path claimFile holds open, for the rest of the run.
HANDLE claimed = INVALID_HANDLE_VALUE;

ChannelRecord* newRecord(std::uint32_t recordLength) {
    void* block = ::operator new(sizeof(ChannelRecord) + recordLength, std::nothrow);
    if (block == nullptr) {
        return nullptr;
    }
    return new (block) ChannelRecord{};
}

void freeRecord(ChannelRecord* record) {
    record->~ChannelRecord();
    ::operator delete(record);
}

ChannelRecord* findChannel(Channel number) {
    LockGuard guard(tableLock);
    for (ChannelRecord* record = channels; record != nullptr; record = record->next) {
        if (record->number == number) {
            return record;
        }
    }
    return nullptr;
}

void linkChannel(ChannelRecord* record) {
    LockGuard guard(tableLock);
    record->next = channels;
    channels = record;
}

void unlinkChannel(ChannelRecord* record) {
    LockGuard guard(tableLock);
    for (ChannelRecord** link = &channels; *link != nullptr; link = &(*link)->next) {
        if (*link == record) {
            *link = record->next;
            break;
        }
    }
    record->next = nullptr;
}

// One Win32 call on a channel; returns the last-error value it left. The caller's whole
// x87 state comes back after it (app/system_call.h).
template <class Call>
DWORD systemCall(SystemCall which, Call&& call) {
    LockGuard guard(systemCallLock);
    return callSystemKeepingFpu([&] {
        const UINT previousMode = SetErrorMode(QUIET_ERROR_MODE);
        SetLastError(0);
        call();
        if (systemCallSeam != nullptr) {
            systemCallSeam(which);
        }
        const DWORD error = GetLastError();
        SetErrorMode(previousMode);
        return error;
    });
}

int failureCode(DWORD systemError) {
    return mapSystemError(systemError);
}

// Reports code into the caller's slot and returns it as the slot now holds it: a
// failure without a code of its own is stored as ERR_INTERNAL.
int reported(int code) {
    reportError(code);
    return code > 0 ? code : ERR_INTERNAL;
}

// The first 255 UTF-16 units of path; 0 or the code that refuses it.
int preparePath(std::string_view path, bool emptyIsBad, std::wstring& wide) {
    wide.clear();
    if (path.empty()) {
        return emptyIsBad ? ERR_BAD_NAME : 0;
    }
    const std::string_view head = path.substr(0, MAX_PATH_BYTES);
    DWORD error = 0;
    if (!codePageToWide(head, 0, wide)) {
        error = ROI_SYSTEM_KEEPING_FPU(GetLastError());
    }
    if (wide.empty()) {
        return failureCode(error);
    }
    if (wide.size() > MAX_PATH_UNITS) {
        wide.resize(MAX_PATH_UNITS);
    }
    if (wide.find_first_of(L"*?") != std::wstring::npos) {
        return ERR_BAD_NAME;
    }
    return 0;
}

DWORD seekTo(ChannelRecord& record, std::uint64_t position) {
    LONG high = static_cast<LONG>(position >> 32);
    const auto low = static_cast<LONG>(position & 0xFFFFFFFFu);
    return systemCall(SystemCall::Seek, [&] { SetFilePointer(record.handle, low, &high, FILE_BEGIN); });
}

DWORD closeChannelHandle(HANDLE handle) {
    return systemCall(SystemCall::Close, [&] { CloseHandle(handle); });
}

DWORD closeHandleOf(ChannelRecord& record) {
    return closeChannelHandle(record.handle);
}

// A handle an open has made but not yet handed to its record's table entry; closed
// through the same bracket as every other call on a channel.
struct CloseChannelHandle {
    void operator()(HANDLE handle) const { closeChannelHandle(handle); }
};
using ChannelHandle = ScopedHandle<CloseChannelHandle>;

// A record linked into the table for the length of an open: unlinked and freed on
// the way out unless keep() leaves it there.
class LinkedRecord {
public:
    explicit LinkedRecord(ChannelRecord* record) : record_(record) { linkChannel(record_); }
    ~LinkedRecord() {
        if (record_ != nullptr) {
            unlinkChannel(record_);
            freeRecord(record_);
        }
    }
    LinkedRecord(const LinkedRecord&) = delete;
    LinkedRecord& operator=(const LinkedRecord&) = delete;

    ChannelRecord* operator->() const { return record_; }
    ChannelRecord& operator*() const { return *record_; }
    void keep() { record_ = nullptr; }

private:
    ChannelRecord* record_;
};

// Makes the record ready after CreateFileW: empties a file for writing, fills the
// buffer for reading. 0 or the code that failed.
int startChannel(ChannelRecord& record) {
    if (record.kind != KIND_DISK || record.mode == MODE_APPEND) {
        return 0;  // an appending channel reads from the start and writes at the end as it is
    }
    DWORD error = seekTo(record, 0);
    if (error != 0) {
        return failureCode(error);
    }
    if (record.mode == MODE_WRITE) {
        error = systemCall(SystemCall::Truncate, [&] { SetEndOfFile(record.handle); });
        return error != 0 ? failureCode(error) : 0;
    }
    DWORD count = 0;
    error = systemCall(SystemCall::Read,
                       [&] { ReadFile(record.handle, record.buffer(), record.recordLength, &count, nullptr); });
    if (error != 0) {
        return failureCode(error);
    }
    record.filled = count;
    record.index = 0;
    record.position = 0;
    return 0;
}

// The open's checks, in the order they are made; 0 or the code that refuses it.
int refuseOpen(Channel channel, std::string_view path, std::wstring& wide) {
    if (const int code = preparePath(path, true, wide); code != 0) {
        return code;
    }
    if (channel < 0) {
        return ERR_NOT_OPEN;
    }
    if (findChannel(channel) != nullptr) {
        return ERR_ALREADY_OPEN;
    }
    return 0;
}

// How each mode opens its file. Writing and reading: inheritable and unshared, as
// the bankroll's channels have always been. Appending: only FILE_APPEND_DATA, so that
// no write can land anywhere but the end; shared for reading, so a viewer may read the
// file meanwhile; and not inherited, as nothing started from here should keep it open.
struct OpenRule {
    std::uint8_t mode;
    DWORD access;
    DWORD share;
    DWORD disposition;
    BOOL inherit;
};
constexpr OpenRule OPEN_RULES[] = {
    {MODE_WRITE, GENERIC_WRITE, 0, OPEN_ALWAYS, TRUE},
    {MODE_READ, GENERIC_READ, 0, OPEN_EXISTING, TRUE},
    {MODE_APPEND, GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS, FALSE},
};

const OpenRule& openRule(std::uint8_t mode) {
    for (const OpenRule& rule : OPEN_RULES) {
        if (rule.mode == mode) {
            return rule;
        }
    }
    return OPEN_RULES[0];
}

// INVALID_HANDLE_VALUE with openError set when the open fails.
HANDLE createChannelFile(const std::wstring& wide, std::uint8_t mode, DWORD& openError) {
    const OpenRule& rule = openRule(mode);
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof(security);
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = rule.inherit;
    HANDLE handle = INVALID_HANDLE_VALUE;
    // Opening an existing file with OPEN_ALWAYS leaves ERROR_ALREADY_EXISTS: only the
    // handle says whether the open failed.
    openError = systemCall(SystemCall::Open, [&] {
        handle = CreateFileW(wide.c_str(), rule.access, rule.share, &security, rule.disposition, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    });
    return handle;
}

// The open itself, on a fresh record linked under the number; 0 or the code that
// failed. A failed open closes the handle first, then unlinks and frees the record.
int openLinked(Channel channel, std::wstring& wide, std::uint8_t mode) {
    const std::uint32_t recordLength = mode == MODE_READ ? READ_RECORD_LENGTH : WRITE_RECORD_LENGTH;
    ChannelRecord* fresh = newRecord(recordLength);
    if (fresh == nullptr) {
        return ERR_NO_MEMORY;
    }
    fresh->number = channel;
    LinkedRecord record(fresh);
    DWORD openError = 0;
    ChannelHandle handle(createChannelFile(wide, mode, openError));
    if (!handle.valid()) {
        return failureCode(openError);
    }
    record->handle = handle.get();
    record->mode = mode;
    record->recordLength = recordLength;
    record->kind = KIND_DISK;
    DWORD type = FILE_TYPE_UNKNOWN;
    systemCall(SystemCall::FileType, [&] { type = GetFileType(handle.get()); });
    if (type != FILE_TYPE_DISK) {
        record->kind = KIND_DEVICE;
    }
    if (const int code = startChannel(*record); code != 0) {
        return code;
    }
    record->path = std::move(wide);
    handle.release();
    record.keep();
    return 0;
}

int openChannel(Channel channel, std::string_view path, std::uint8_t mode) {
    LockGuard openGuard(openLock);
    std::wstring wide;
    int code = refuseOpen(channel, path, wide);
    if (code == 0) {
        code = openLinked(channel, wide, mode);
    }
    if (code != 0) {
        reportError(code);
    }
    return code;
}

// The channel open in one of modes, or null after reporting why not into *code.
ChannelRecord* channelIn(Channel channel, std::uint8_t modes, int* code = nullptr) {
    ChannelRecord* record = findChannel(channel);
    const int refused = record == nullptr ? ERR_NOT_OPEN : (record->mode & modes) == 0 ? ERR_WRONG_MODE : 0;
    if (code != nullptr) {
        *code = refused;
    }
    if (refused != 0) {
        reportError(refused);
        return nullptr;
    }
    return record;
}

// The channel open for writing (or appending), or null after reporting why not.
ChannelRecord* writingChannel(Channel channel, int* code = nullptr) {
    return channelIn(channel, MODE_WRITE | MODE_APPEND, code);
}

// One WriteFile straight to the handle; 0 or the code.
int writePiece(ChannelRecord& record, const char* bytes, DWORD count) {
    DWORD written = 0;
    const DWORD error =
        systemCall(SystemCall::Write, [&] { WriteFile(record.handle, bytes, count, &written, nullptr); });
    if (error != 0) {
        return failureCode(error);
    }
    if (written < count) {
        return record.kind == KIND_DISK ? ERR_DISK_FULL : ERR_DEVICE_IO;
    }
    if (record.kind == KIND_DISK) {
        record.position += written;
    }
    record.index += written;
    return 0;
}

int writeBytes(ChannelRecord& record, std::string_view bytes) {
    do {
        const std::size_t piece = bytes.size() < MAX_WRITE_PIECE ? bytes.size() : MAX_WRITE_PIECE;
        if (const int code = writePiece(record, bytes.data(), static_cast<DWORD>(piece)); code != 0) {
            return code;
        }
        bytes.remove_prefix(piece);
    } while (!bytes.empty());
    return 0;
}

// Feeds the field scanner from a channel's buffer, refilling it as it runs dry.
class ChannelSource {
public:
    explicit ChannelSource(ChannelRecord& record) : record_(record) {}

    int peek() {
        if (failure_ != 0) {
            return SOURCE_FAILED;
        }
        if (record_.index >= record_.filled && !refill()) {
            return failure_ != 0 ? SOURCE_FAILED : SOURCE_END;
        }
        return record_.buffer()[record_.index];
    }
    void advance() { ++record_.index; }
    int failure() const { return failure_; }

private:
    // False at the end of the data or on failure (failure_ then holds the code).
    bool refill() {
        DWORD count = 0;
        if (record_.kind == KIND_DISK) {
            record_.position += record_.index;
            record_.index = 0;
            record_.filled = 0;
            if (const DWORD error = seekTo(record_, record_.position); error != 0) {
                failure_ = failureCode(error);
                return false;
            }
            const DWORD error = systemCall(SystemCall::Read, [&] {
                ReadFile(record_.handle, record_.buffer(), record_.recordLength, &count, nullptr);
            });
            if (error != 0) {
                failure_ = failureCode(error);
                return false;
            }
        } else {
            record_.index = 0;
            record_.filled = 0;
            const DWORD error =
                systemCall(SystemCall::Read, [&] { ReadFile(record_.handle, record_.buffer(), 1, &count, nullptr); });
            if (error != 0) {
                const int code = failureCode(error);
                if (code != ERR_END_OF_DATA) {
                    failure_ = code;
                }
                return false;
            }
        }
        record_.filled = count;
        return count > 0;
    }

    ChannelRecord& record_;
    int failure_ = 0;
};

}  // namespace

int openWrite(Channel channel, std::string_view path) {
    return openChannel(channel, path, MODE_WRITE);
}

int openRead(Channel channel, std::string_view path) {
    return openChannel(channel, path, MODE_READ);
}

int openAppend(Channel channel, std::string_view path) {
    return openChannel(channel, path, MODE_APPEND);
}

int readPiece(Channel channel, std::string& piece) {
    piece.clear();
    int code = 0;
    ChannelRecord* record = channelIn(channel, MODE_APPEND, &code);
    if (record == nullptr) {
        return code;
    }
    piece.resize(APPEND_READ_PIECE);
    DWORD count = 0;
    const DWORD error = systemCall(SystemCall::Read,
                                   [&] { ReadFile(record->handle, piece.data(), APPEND_READ_PIECE, &count, nullptr); });
    piece.resize(error == 0 ? count : 0);
    if (error != 0 && (code = failureCode(error)) != ERR_END_OF_DATA) {
        reportError(code);
        return code;
    }
    return 0;
}

int appendText(Channel channel, std::string_view bytes) {
    int code = 0;
    ChannelRecord* record = channelIn(channel, MODE_APPEND, &code);
    if (record == nullptr) {
        return code;
    }
    if (!bytes.empty() && (code = writeBytes(*record, bytes)) != 0) {
        reportError(code);
    }
    return code;
}

int writeQuoted(Channel channel, std::string_view text) {
    int code = 0;
    ChannelRecord* record = writingChannel(channel, &code);
    if (record == nullptr) {
        return code;
    }
    // Quote, text, quote: three pieces, the text unescaped; the first failure stops.
    code = writeBytes(*record, "\"");
    if (code == 0 && !text.empty()) {
        code = writeBytes(*record, text);
    }
    if (code == 0) {
        code = writeBytes(*record, "\"");
    }
    if (code != 0) {
        reportError(code);
    }
    return code;
}

int endLine(Channel channel) {
    int code = 0;
    ChannelRecord* record = writingChannel(channel, &code);
    if (record == nullptr) {
        return code;
    }
    if ((code = writeBytes(*record, "\r\n")) != 0) {
        return reported(code);
    }
    record->index = 0;
    return 0;
}

int readField(Channel channel, std::string& field) {
    field.clear();
    int code = 0;
    ChannelRecord* record = channelIn(channel, MODE_READ, &code);
    if (record == nullptr) {
        return code;
    }
    ChannelSource source(*record);
    const FieldResult result = scanField(source, field);
    if (result == FieldResult::Field) {
        return 0;
    }
    field.clear();
    return reported(result == FieldResult::EndOfData ? ERR_END_OF_DATA : source.failure());
}

int closeChannel(Channel channel) {
    ChannelRecord* record = findChannel(channel);
    if (record == nullptr) {
        return 0;
    }
    unlinkChannel(record);
    DWORD error = 0;
    if (record->mode == MODE_WRITE && record->kind == KIND_DISK) {  // an appending channel is never cut
        // Cuts off whatever lay beyond the bytes written.
        error = systemCall(SystemCall::Truncate, [&] { SetEndOfFile(record->handle); });
    }
    const DWORD closeError = closeHandleOf(*record);
    if (error == 0) {
        error = closeError;
    }
    freeRecord(record);
    if (error != 0) {
        const int code = failureCode(error);
        reportError(code);
        return code;
    }
    return 0;
}

std::uint32_t fileAttributes(std::string_view path, std::uint32_t* systemError) {
    if (systemError != nullptr) {
        *systemError = 0;
    }
    std::wstring wide;
    if (const int code = preparePath(path, false, wide); code != 0) {
        reportError(code);
        return 0;
    }
    const DWORD attributes = ROI_SYSTEM_KEEPING_FPU(GetFileAttributesW(wide.c_str()));
    const DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? ROI_SYSTEM_KEEPING_FPU(GetLastError()) : 0;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (systemError != nullptr) {
            *systemError = error;
        }
        reportError(ERR_NOT_FOUND);
        return 0;
    }
    return attributes;
}

int flush(Channel channel) {
    int code = 0;
    ChannelRecord* record = writingChannel(channel, &code);
    if (record == nullptr || record->kind != KIND_DISK) {
        return code;
    }
    if (const DWORD error = systemCall(SystemCall::Flush, [&] { FlushFileBuffers(record->handle); }); error != 0) {
        code = failureCode(error);
        reportError(code);
    }
    return code;
}

int replaceFile(std::string_view from, std::string_view to) {
    std::wstring source;
    std::wstring target;
    if (const int code = preparePath(from, true, source); code != 0) {
        return reported(code);
    }
    if (const int code = preparePath(to, true, target); code != 0) {
        return reported(code);
    }
    // A rename within one folder: the target is the old file or the new one, never a
    // mixture, and write-through has it on the disk before the call returns.
    BOOL moved = FALSE;
    const DWORD error = systemCall(SystemCall::Replace, [&] {
        moved = MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    });
    return !moved || error != 0 ? reported(failureCode(error)) : 0;
}

int removeFile(std::string_view path) {
    std::wstring wide;
    if (const int code = preparePath(path, true, wide); code != 0) {
        return reported(code);
    }
    BOOL removed = FALSE;
    const DWORD error = systemCall(SystemCall::Remove, [&] { removed = DeleteFileW(wide.c_str()); });
    return !removed || error != 0 ? reported(failureCode(error)) : 0;
}

Claim claimFile(std::string_view path) {
    std::wstring wide;
    if (const int code = preparePath(path, true, wide); code != 0) {
        reportError(code);
        return Claim::Unavailable;
    }
    releaseClaim();
    // Not inheritable: a program started from here must not keep the claim. Hidden, as
    // it is no file of the user's.
    HANDLE handle = INVALID_HANDLE_VALUE;
    const DWORD error = systemCall(SystemCall::Claim, [&] {
        handle = CreateFileW(wide.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    });
    if (handle != INVALID_HANDLE_VALUE) {
        claimed = handle;
        return Claim::Held;
    }
    reportError(failureCode(error));
    return error == ERROR_SHARING_VIOLATION ? Claim::InUse : Claim::Unavailable;
}

void releaseClaim() {
    if (claimed != INVALID_HANDLE_VALUE) {
        closeChannelHandle(std::exchange(claimed, INVALID_HANDLE_VALUE));
    }
}

void resetChannelTable() {
    ChannelRecord* record = channels;
    channels = nullptr;
    while (record != nullptr) {
        ChannelRecord* next = record->next;
        freeRecord(record);
        record = next;
    }
    release(openLock);
    release(tableLock);
    release(systemCallLock);
}

void setSystemCallSeam(SystemCallSeam seam) {
    systemCallSeam = seam;
}

}  // namespace roi
