// GoogleTest entry for every test program: the x87 unit runs in the program's
// working mode (64-bit significand, round to nearest, exceptions masked), as the
// calculator sets it at start-up. Windows x64 starts threads at 53-bit precision.
#include <gtest/gtest.h>

namespace {

void loadWorkingControlWord() {
#if defined(__i386__) || defined(__x86_64__)
    const unsigned short word = 0x133F;
    __asm__ volatile("fldcw %0" : : "m"(word));
#endif
}

}  // namespace

int main(int argc, char** argv) {
    loadWorkingControlWord();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
