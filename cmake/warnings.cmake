# One place sets the warnings; they are errors everywhere.
function(roi_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                             -Wcast-align -Wunused -Woverloaded-virtual -Wnull-dereference
                                             -Wdouble-promotion -Wformat=2 -Werror)
endfunction()

# The portable core also gets the conversion warnings: an accidental narrowing of
# an extended value to double must not compile.
function(roi_core_warnings target)
    roi_warnings(${target})
    target_compile_options(${target} PRIVATE -Wconversion -Wsign-conversion)
endfunction()

# Definitions and link options every Win32 target shares.
function(roi_win32_target target)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                 _WIN32_WINNT=0x0601 WINVER=0x0601)
    # Static, so that one .exe is all a user (or Wine) needs.
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()
