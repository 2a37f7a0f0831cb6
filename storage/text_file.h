// Sequential text files over numbered channels. Every failure is reported through
// reportError (the caller's error slot) and leaves the neutral result; each operation
// that can fail also returns the code it reported, as the slot holds it, 0 for success.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace roi {

using Channel = std::int16_t;

[[nodiscard]] int openWrite(Channel channel, std::string_view path);
[[nodiscard]] int openRead(Channel channel, std::string_view path);
[[nodiscard]] int writeQuoted(Channel channel, std::string_view text);
[[nodiscard]] int endLine(Channel channel);
// The next field into field; empty when the read fails.
[[nodiscard]] int readField(Channel channel, std::string& field);
// Closing a channel that is not open does nothing.
[[nodiscard]] int closeChannel(Channel channel);
// 0 on failure; *systemError (when given) receives GetLastError's value then, 0 otherwise,
// so a caller can tell a missing path from one that could not be examined. The code
// goes to the slot alone: the 0 and *systemError are what a caller acts on.
std::uint32_t fileAttributes(std::string_view path, std::uint32_t* systemError = nullptr);

// Hands what was written on a channel to the disk (FlushFileBuffers); a device other
// than a disk file has nothing to flush.
[[nodiscard]] int flush(Channel channel);

// A file that only ever grows. openAppend opens path on channel, creating it when
// missing: readPiece reads its bytes from the start, appendText writes at its end, and
// nothing can rewrite or truncate what it holds. Others may read it meanwhile.
[[nodiscard]] int openAppend(Channel channel, std::string_view path);
// The next bytes, up to 64 KiB of them; empty at the end of the file.
[[nodiscard]] int readPiece(Channel channel, std::string& piece);
// bytes at the end of the file, in one WriteFile.
[[nodiscard]] int appendText(Channel channel, std::string_view bytes);
// Puts the file from in the place of the file to in one step, replacing it when it
// exists; the old file stays whole when this fails.
[[nodiscard]] int replaceFile(std::string_view from, std::string_view to);
// Deletes the file path.
[[nodiscard]] int removeFile(std::string_view path);

// How claimFile went.
enum class Claim {
    Held,         // this process holds the path until it ends or claims again
    InUse,        // another process holds it
    Unavailable,  // it could not be made (a read-only folder, say); nobody holds it
};
// Holds path open without sharing, to be deleted when closed. The system closes it
// however the process ends, so a claim never outlives its holder; the file system
// decides what names the same file (letter case, short names, other drives). Gives up
// this process's earlier claim first.
Claim claimFile(std::string_view path);
// Gives up the claim, deleting its file; nothing happens when none is held.
void releaseClaim();

}  // namespace roi

namespace roi {

// Start-up: the channel table starts empty and its locks free. Records still in the
// table are forgotten; their handles are not closed.
void resetChannelTable();

// The Win32 calls the layer makes on a channel (CreateFileW, GetFileType, SetFilePointer,
// SetEndOfFile, ReadFile, WriteFile, CloseHandle, FlushFileBuffers) and on whole files
// (MoveFileExW, DeleteFileW, the claim's CreateFileW), each inside the same bracket (lock, saved x87 state, no
// system error boxes, last error read at once).
enum class SystemCall { Open, FileType, Seek, Truncate, Read, Write, Close, Flush, Replace, Remove, Claim };

// Test seam, null in the program: runs inside the bracket right after the call, before
// the x87 state is restored and the last error is read. It may change the control word
// or set a last-error value, standing for what a real file cannot be made to do.
using SystemCallSeam = void (*)(SystemCall call);
void setSystemCallSeam(SystemCallSeam seam);

}  // namespace roi
