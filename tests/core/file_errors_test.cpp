// System errors to the file layer's runtime codes.
#include "core/file_errors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(MapSystemError, EveryRowOfTheTable) {
    struct Row {
        std::vector<std::uint32_t> systemErrors;
        int code;
    };
    const Row rows[] = {
        {{0}, 0},  // no error
        {{87}, 5},
        {{8, 14}, 7},
        {{11, 12, 13, 22, 24}, 51},
        {{2, 18}, 53},
        {{6}, 57},
        {{39, 112}, 61},
        {{38}, 62},
        {{4}, 67},
        {{15, 20}, 68},
        {{5, 19, 32, 33, 36}, 70},
        {{21}, 71},
        {{23, 25, 26, 27, 28, 29, 30, 31, 34, 35}, 72},
        {{17}, 74},
        {{1, 16, 37, 40, 41, 86, 88, 111, 113, 183, 206, 1000, 0xFFFFFFFF}, 75},  // and everything from 40 up
        {{3}, 76},
        {{7, 9, 10}, 241},  // fatal
    };
    std::vector<bool> seen(40, false);
    for (const Row& row : rows) {
        for (std::uint32_t systemError : row.systemErrors) {
            SCOPED_TRACE(systemError);
            EXPECT_EQ(roi::mapSystemError(systemError), row.code);
            if (systemError < seen.size()) {
                EXPECT_FALSE(seen[systemError]) << "listed twice";
                seen[systemError] = true;
            }
        }
    }
    // The rows above cover every system error from 0 to 39 exactly once.
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_TRUE(seen[i]) << "system error " << i << " not listed";
    }
}

}  // namespace
