// Windows calls window and dialog procedures (and thread functions and enumeration
// callbacks) from its own frames, which an exception must not cross, and with whatever
// x87 control word it has at the time. Each such function hands its body to
// callGuarded: the working word is loaded on entry, and should anything escape (in
// practice std::bad_alloc from a text), the message gets the fallback's answer, as
// though the procedure had left it to the default handling.
#pragma once

#include "app/system_call.h"

namespace roi {

template <typename Body, typename Fallback>
auto callGuarded(Body&& body, Fallback&& fallback) noexcept -> decltype(body()) {
    loadWorkingControlWord();
    try {
        return body();
    } catch (...) {
        return fallback();
    }
}

}  // namespace roi
