# The version header the resource script includes, and what the release presets
# (ROI_RELEASE) add: a small program with its debug information in a file beside it,
# the same bytes from every build of one commit.
configure_file(${PROJECT_SOURCE_DIR}/resources/version.h.in ${PROJECT_BINARY_DIR}/generated/roicalc_version.h @ONLY)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/version.txt CONTENT "${PROJECT_VERSION}\n")

option(ROI_RELEASE "Size-optimised build, debug information split off, reproducible" OFF)

if(ROI_RELEASE)
    # No build path may reach the binaries (file names in debug information, __FILE__),
    # so a clone anywhere gives the same bytes.
    # (The link-time compile needs the same maps.)
    set(prefix_maps -ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
    add_compile_options(${prefix_maps} -ffunction-sections -fdata-sections -flto -ffat-lto-objects)
    # Link-time optimisation for the program only (roi_release_program): GCC 12 fails on
    # some test programs with it, so the objects also carry plain code for those.
    add_link_options(${prefix_maps} -fno-lto -Wl,--gc-sections -Wl,--no-insert-timestamp)
endif()

# roi_release_program(target): in a release build, link the program with link-time
# optimisation, then move its debug information into <file>.debug and leave a link
# to it in the program, so a crash address can still be read.
function(roi_release_program target)
    if(NOT ROI_RELEASE)
        return()
    endif()
    # One partition: the program is small, and GCC 12's 32-bit link stops with an
    # internal error (binds_to_current_def_p) when a symbol made local lands in another
    # partition than a function inlined with it.
    target_link_options(${target} PRIVATE -flto -flto-partition=one)
    # objcopy stamps a PE file it writes with the time, or with SOURCE_DATE_EPOCH when
    # set: 0, like the link's --no-insert-timestamp.
    set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${objcopy} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
        COMMAND ${objcopy} --strip-all $<TARGET_FILE:${target}>
        COMMAND ${objcopy} --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug $<TARGET_FILE:${target}>
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        VERBATIM)
endfunction()
