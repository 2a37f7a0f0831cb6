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
void closeChannel(Channel channel);
// 0 on failure; *systemError (when given) receives GetLastError's value then, 0 otherwise,
// so a caller can tell a missing path from one that could not be examined.
std::uint32_t fileAttributes(std::string_view path, std::uint32_t* systemError = nullptr);

// Hands what was written on a channel to the disk (FlushFileBuffers); a device other
// than a disk file has nothing to flush.
void flush(Channel channel);
// Puts the file from in the place of the file to in one step, replacing it when it
// exists; the old file stays whole when this fails.
void replaceFile(std::string_view from, std::string_view to);
// Deletes the file path.
void removeFile(std::string_view path);

}  // namespace roi

namespace roi {

// Start-up: the channel table starts empty and its locks free. Records still in the
// table are forgotten; their handles are not closed.
void resetChannelTable();

// The Win32 calls the layer makes on a channel (CreateFileW, GetFileType, SetFilePointer,
// SetEndOfFile, ReadFile, WriteFile, CloseHandle, FlushFileBuffers) and on whole files
// (MoveFileExW, DeleteFileW), each inside the same bracket (lock, saved x87 state, no
// system error boxes, last error read at once).
enum class SystemCall { Open, FileType, Seek, Truncate, Read, Write, Close, Flush, Replace, Remove };

// Test seam, null in the program: runs inside the bracket right after the call, before
// the x87 state is restored and the last error is read. It may change the control word
// or set a last-error value, standing for what a real file cannot be made to do.
using SystemCallSeam = void (*)(SystemCall call);
void setSystemCallSeam(SystemCallSeam seam);

}  // namespace roi
