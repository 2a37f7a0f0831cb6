// Windows calls window and dialog procedures from its own frames, which an exception
// must not cross. Each procedure hands its routing to callGuarded: should anything
// escape (in practice std::bad_alloc from a text), the message gets the fallback's
// answer, as though the procedure had left it to the default handling.
#pragma once

namespace roi {

template <typename Body, typename Fallback>
auto callGuarded(Body&& body, Fallback&& fallback) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        return fallback();
    }
}

}  // namespace roi
