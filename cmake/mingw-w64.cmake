# What both MinGW-w64 cross builds share. The toolchain file that includes this sets
# CMAKE_SYSTEM_PROCESSOR (i686 or x86_64), which names the compilers and their root.
set(CMAKE_SYSTEM_NAME Windows)
set(ROI_MINGW_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${ROI_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ROI_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ROI_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ROI_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# CTest runs each .exe through Wine, in the private prefix under build/.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
