# The version header the resource script includes, and what the release presets
# (ROI_RELEASE) add: a small program with its debug information in a file beside it,
# the same bytes from every build of one commit.
configure_file(${PROJECT_SOURCE_DIR}/resources/version.h.in ${PROJECT_BINARY_DIR}/generated/roicalc_version.h @ONLY)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/version.txt CONTENT "${PROJECT_VERSION}\n")

option(ROI_RELEASE "Size-optimised build, debug information split off, reproducible" OFF)

if(ROI_RELEASE)
    # No build path may reach the binaries (file names in debug information, __FILE__),
    # so a clone anywhere gives the same bytes.
    add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build
                        -ffunction-sections -fdata-sections -flto)
    add_link_options(-flto -Wl,--gc-sections -Wl,--no-insert-timestamp)
endif()

# roi_split_debug(target): after linking, move the target's debug information into
# <file>.debug and leave a link to it, so a crash address can still be read.
function(roi_split_debug target)
    if(NOT ROI_RELEASE)
        return()
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
        COMMAND ${CMAKE_OBJCOPY} --strip-all $<TARGET_FILE:${target}>
        COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug $<TARGET_FILE:${target}>
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        VERBATIM)
endfunction()
