// The library's containers and strings report a broken precondition (a position
// past the end, a length past max_size) through the std::__throw_* helpers. Its own
// versions throw logic_error and its kin, whose message member is a second, older
// string implementation: about 85 KB of the program. The versions here throw the same
// allocation and cast types, and for the rest one plain exception carrying the
// message; nothing in the program catches the logic_error family by type (only
// std::bad_alloc and "..."), so every handler sees the same as before. The library's
// object defines all of them, so all are replaced: a missing one would bring that
// object back and the link would fail on the doubled names.
// Linked into the program only (and its test), never into roi_runtime.
#include <exception>
#include <new>
#include <string>
#include <typeinfo>

namespace {

class LibraryError : public std::exception {
public:
    explicit LibraryError(const char* message) : message_(message) {}
    const char* what() const noexcept override { return message_; }

private:
    const char* message_;
};

}  // namespace

// One definition per helper the library's object holds; the two kinds differ only in
// their names and in what they throw.
#define ROI_THROWS_STANDARD(helper, type) \
    void helper() {                       \
        throw type();                     \
    }
#define ROI_THROWS_MESSAGE(helper)     \
    void helper(const char* message) { \
        throw LibraryError(message);   \
    }

namespace std {
ROI_THROWS_STANDARD(__throw_bad_exception, std::bad_exception)
ROI_THROWS_STANDARD(__throw_bad_alloc, std::bad_alloc)
ROI_THROWS_STANDARD(__throw_bad_array_new_length, std::bad_array_new_length)
ROI_THROWS_STANDARD(__throw_bad_cast, std::bad_cast)
ROI_THROWS_STANDARD(__throw_bad_typeid, std::bad_typeid)
ROI_THROWS_MESSAGE(__throw_logic_error)
ROI_THROWS_MESSAGE(__throw_domain_error)
ROI_THROWS_MESSAGE(__throw_invalid_argument)
ROI_THROWS_MESSAGE(__throw_length_error)
ROI_THROWS_MESSAGE(__throw_out_of_range)
ROI_THROWS_MESSAGE(__throw_runtime_error)
ROI_THROWS_MESSAGE(__throw_range_error)
ROI_THROWS_MESSAGE(__throw_overflow_error)
ROI_THROWS_MESSAGE(__throw_underflow_error)
// The format's arguments are dropped: no one reads the message in a windowed program.
void __throw_out_of_range_fmt(const char* format, ...) {
    throw LibraryError(format);
}
}  // namespace std
