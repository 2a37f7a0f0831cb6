// GetGuiResources is a stub under Wine (it counts 0), so tests count a process's GDI
// objects in its GDI handle table instead, which the PEB points to at 0xF8 (64-bit
// layout: 24-byte entries, type byte 0 for a free one). 32-bit programs have no count.
#pragma once

#include <cstdint>

namespace roi_test {

struct GdiHandleEntry {
    std::uint64_t object;
    std::uint16_t processId;
    std::uint16_t count;
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t user;
};
static_assert(sizeof(GdiHandleEntry) == 24);

inline constexpr int GDI_TABLE_ENTRIES = 0x10000;
inline constexpr std::uintptr_t PEB_GDI_TABLE_OFFSET = 0xF8;

// The entries in use by the process pid (or shared, process id 0).
inline int countGdiEntries(const GdiHandleEntry* table, std::uint32_t pid) {
    const auto owner = static_cast<std::uint16_t>(pid);
    int count = 0;
    for (int i = 0; i < GDI_TABLE_ENTRIES; ++i) {
        if (table[i].type != 0 && (table[i].processId == 0 || table[i].processId == owner)) {
            ++count;
        }
    }
    return count;
}

}  // namespace roi_test
