# What both mingw-w64 cross-builds share; the per-architecture toolchain files
# set ORISCOPE_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR, then include this.
#
# The posix thread model compilers are required: the win32 model's libstdc++
# has no std::thread/std::mutex. The runtime libraries are linked statically
# by the top-level CMakeLists, so each DLL and EXE stands alone.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ORISCOPE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORISCOPE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORISCOPE_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORISCOPE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The binutils of this architecture, for the import library and the static
# checks of the built DLLs and programs.
set(ORISCOPE_DLLTOOL ${ORISCOPE_MINGW_PREFIX}-dlltool)
set(ORISCOPE_OBJDUMP ${ORISCOPE_MINGW_PREFIX}-objdump)

# add_test() on an executable target prepends this, so ctest runs Windows
# programs under Wine in the build tree's private prefix, whose architecture
# the runner takes from the program.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
