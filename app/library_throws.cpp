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

namespace std {
void __throw_bad_exception() {
    throw std::bad_exception();
}
void __throw_bad_alloc() {
    throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
    throw std::bad_array_new_length();
}
void __throw_bad_cast() {
    throw std::bad_cast();
}
void __throw_bad_typeid() {
    throw std::bad_typeid();
}
void __throw_logic_error(const char* message) {
    throw LibraryError(message);
}
void __throw_domain_error(const char* message) {
    throw LibraryError(message);
}
void __throw_invalid_argument(const char* message) {
    throw LibraryError(message);
}
void __throw_length_error(const char* message) {
    throw LibraryError(message);
}
void __throw_out_of_range(const char* message) {
    throw LibraryError(message);
}
// The format's arguments are dropped: no one reads the message in a windowed program.
void __throw_out_of_range_fmt(const char* format, ...) {
    throw LibraryError(format);
}
void __throw_runtime_error(const char* message) {
    throw LibraryError(message);
}
void __throw_range_error(const char* message) {
    throw LibraryError(message);
}
void __throw_overflow_error(const char* message) {
    throw LibraryError(message);
}
void __throw_underflow_error(const char* message) {
    throw LibraryError(message);
}
}  // namespace std
