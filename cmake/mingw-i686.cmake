# Cross-build for 32-bit Windows with mingw-w64 i686; tests run under Wine.
#
# The posix thread model compilers are required: the win32 model's libstdc++
# has no std::thread/std::mutex. The runtime libraries are linked statically
# by the top-level CMakeLists, so each DLL and EXE stands alone.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(ORISCOPE_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ORISCOPE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORISCOPE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORISCOPE_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORISCOPE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# add_test() on an executable target prepends this, so ctest runs Windows
# programs under Wine in the build tree's private prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
