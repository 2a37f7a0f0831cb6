// What the program's handlers rely on: a library failure arrives as an exception, and
// exactly the allocation failures reach the std::bad_alloc handlers (the font table's,
// the window records').
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// Sizes the compiler cannot see, so it neither warns about nor folds the calls.
volatile std::size_t g_position = 4;
const char* volatile g_noText = nullptr;

struct Failure {
    const char* what;
    std::function<void()> provoke;
    bool allocation;  // what a catch (const std::bad_alloc&) takes
};

TEST(LibraryFailures, EachFailureArrivesAsTheExceptionItsHandlersExpect) {
    const Failure failures[] = {
        {"substr past the end", [] { (void)std::string("abc").substr(g_position); }, false},
        {"at past the end", [] { (void)std::string("abc").at(g_position); }, false},
        {"string longer than max_size",
         [] {
             std::string s;
             s.reserve(s.max_size() + g_position);
         },
         false},
        {"vector longer than max_size",
         [] {
             std::vector<int> v;
             v.reserve(v.max_size() + g_position);
         },
         false},
        {"string from no text", [] { std::string s(g_noText); }, false},
        {"allocator asked for more than max_size",
         [] {
             std::allocator<int> a;
             const std::size_t n = static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(int) + g_position;
             a.deallocate(a.allocate(n), n);
         },
         true},
        {"allocator asked for more bytes than there are addresses",
         [] {
             std::allocator<int> a;
             const std::size_t n = SIZE_MAX / sizeof(int) + g_position;
             a.deallocate(a.allocate(n), n);
         },
         true},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.what);
        bool asAllocation = false;
        bool asOther = false;
        try {
            f.provoke();
        } catch (const std::bad_alloc&) {
            asAllocation = true;
        } catch (const std::exception& e) {
            asOther = true;
            EXPECT_STRNE(e.what(), "");
        }
        EXPECT_EQ(asAllocation, f.allocation);
        EXPECT_EQ(asOther, !f.allocation);
    }
}

}  // namespace
