// Sequential text files over numbered channels. Every failure is reported through
// reportError (the caller's error slot) and leaves the neutral result.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace roi {

using Channel = std::int16_t;

void openWrite(Channel channel, std::string_view path);
void openRead(Channel channel, std::string_view path);
void writeQuoted(Channel channel, std::string_view text);
void endLine(Channel channel);
std::string readField(Channel channel);
// 0 or the code it reported.
int closeChannel(Channel channel);
// 0 on failure; *systemError (when given) receives GetLastError's value then, 0 otherwise,
// so a caller can tell a missing path from one that could not be examined.
std::uint32_t fileAttributes(std::string_view path, std::uint32_t* systemError = nullptr);

// Hands what was written on a channel to the disk (FlushFileBuffers); a device other
// than a disk file has nothing to flush. 0 or the code it reported.
int flush(Channel channel);

// A file that only ever grows. openAppend opens path on channel, creating it when
// missing: readPiece reads its bytes from the start, appendText writes at its end, and
// nothing can rewrite or truncate what it holds. Others may read it meanwhile. Each
// reports into the caller's slot as the other operations do, and returns the code, 0
// for success.
[[nodiscard]] int openAppend(Channel channel, std::string_view path);
// The next bytes, up to 64 KiB of them; empty at the end of the file.
[[nodiscard]] int readPiece(Channel channel, std::string& piece);
// bytes at the end of the file, in one WriteFile.
[[nodiscard]] int appendText(Channel channel, std::string_view bytes);
// Puts the file from in the place of the file to in one step, replacing it when it
// exists; the old file stays whole when this fails.
void replaceFile(std::string_view from, std::string_view to);
// Deletes the file path.
void removeFile(std::string_view path);

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
