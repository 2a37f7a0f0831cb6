// The runtime error numbers: what a failing service records in its caller's error
// slot. One numbering for every service (file layer, dialog engine, canvas, runtime).
#pragma once

#include <cstdint>

namespace roi {

// The slot holds 8 bits, so the numbers do too. A plain enumeration, as the control
// ids and flag sets are: the numbers travel as ints through the slot and the file layer.
enum RuntimeError : std::uint8_t {
    ERR_NONE = 0,                // no error: the slot as a routine finds it
    ERR_BAD_ARGUMENT = 5,        // an argument the service refuses; system error 87
    ERR_NO_MEMORY = 7,           // no memory for the service's own data; system errors 8 and 14
    ERR_INTERNAL = 51,           // a failure without a code of its own (a code of 0 is stored as this)
    ERR_NOT_OPEN = 52,           // no channel open under the number, or a negative number
    ERR_NOT_FOUND = 53,          // the path does not exist; system errors 2 and 18
    ERR_WRONG_MODE = 54,         // the channel is open the other way (reading, not writing)
    ERR_ALREADY_OPEN = 55,       // a channel is already open under the number
    ERR_DEVICE_IO = 57,          // a device took fewer bytes than written; system error 6
    ERR_DISK_FULL = 61,          // a disk file took fewer bytes than written; system errors 39 and 112
    ERR_END_OF_DATA = 62,        // a read at the end of the data or at 0x1A; system error 38
    ERR_BAD_NAME = 64,           // an empty path, or one with "*" or "?"
    ERR_TOO_MANY_FILES = 67,     // system error 4
    ERR_NO_DEVICE = 68,          // no such drive or unit; system errors 15 and 20
    ERR_ACCESS_DENIED = 70,      // access, write-protect, sharing and lock violations
    ERR_NOT_READY = 71,          // the device is not ready; system error 21
    ERR_MEDIA = 72,              // the medium failed (CRC, seek, sector, read and write faults)
    ERR_OTHER_DEVICE = 74,       // system error 17: not the same device
    ERR_PATH_ACCESS = 75,        // every other system error, 40 and above included
    ERR_PATH_NOT_FOUND = 76,     // system error 3
    ERR_BAD_MEMORY_BLOCK = 241,  // a memory block the system cannot release or finds damaged: fatal
};

// Codes of this value and above end the process at once.
inline constexpr int FIRST_FATAL_ERROR = 241;

static_assert(ERR_BAD_MEMORY_BLOCK >= FIRST_FATAL_ERROR, "a damaged memory block ends the process");

}  // namespace roi
