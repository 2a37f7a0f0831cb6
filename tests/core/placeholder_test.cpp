// Placeholder so the core test program has a source until the real tests land.
#include <gtest/gtest.h>
#include "core/number_text.h"
TEST(Placeholder, ExtendedHasSixtyFourBitSignificand) { EXPECT_EQ(std::numeric_limits<roi::Extended>::digits, 64); }
