# GoogleTest is built from the sources Debian ships, so the cross builds get it too.
set(ROI_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${ROI_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# roi_add_test(name SOURCES ... LIBS ...): one test program with the shared main,
# linked with the libraries it uses. Natively every case is its own CTest test;
# under Wine the whole program is one test, since each Wine start costs about a second.
function(roi_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} roi_test_main gtest)
    roi_warnings(${name})
    if(WIN32)
        roi_win32_target(${name})
        target_link_options(${name} PRIVATE -mconsole)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
    else()
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
    endif()
endfunction()
