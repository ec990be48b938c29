# Test helpers shared by every tests/ folder.
#
# oriscope_add_gtest(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>])
#   Builds a GoogleTest program and registers it with CTest as one test.
#   Natively it links Debian's GoogleTest; in the Windows builds it links the
#   GoogleTest cross-built from Debian's sources (target oriscope_gtest_main)
#   and ctest runs it under Wine through the toolchain's emulator wrapper
#   (cmake/wine-run.sh, prefix <build>/wine-prefix of the build's architecture). All programs and DLLs land
#   in <build>/bin, so a test finds midlib.dll and our other DLLs beside it.
#   A test that wants GoogleMock adds oriscope_gmock to its LIBS (both builds).
#
# Labels (scripts/test.sh and the CMake test presets select tests by them):
#   wine    runs a program under Wine: added to every test program of the
#           Windows builds. Where this machine cannot execute the build's
#           programs (32-bit ones on a 64-bit-only kernel), scripts/test.sh
#           runs everything else and names these as skipped.
#   static  checks built files without running them (Windows builds); runs
#           on every machine.
#   tsan    also run in the thread-sanitizer build; give it to tests that
#           exercise threads (frame hand-off, start/stop cycles, events, locks).
#           The tsan preset runs only these.
#   noasan  skipped in the address/undefined-sanitizer build, which runs every
#           other test; use it only for a test that cannot work there, and say why.
#   gui     needs an X display; scripts/test.sh starts Xvfb for the Windows
#           tests when at least one test carries it.
# Test environment: add variables with
#   set_property(TEST <name> APPEND PROPERTY ENVIRONMENT_MODIFICATION VAR=set:value)
# rather than overwriting ENVIRONMENT; Windows programs see Unix variables too.
include_guard(GLOBAL)

if(ORISCOPE_BUILD_TESTS AND NOT WIN32 AND NOT TARGET oriscope_gmock)
  find_package(GTest REQUIRED)
  find_package(Threads REQUIRED)
  add_library(oriscope_gmock INTERFACE)
  target_link_libraries(oriscope_gmock INTERFACE GTest::gmock)
endif()

# GoogleTest for Windows, built from Debian's sources with the cross toolchain.
# SYSTEM keeps our warning flags off its headers; EXCLUDE_FROM_ALL builds it only
# when a test links it.
if(ORISCOPE_BUILD_TESTS AND WIN32 AND NOT TARGET oriscope_gtest_main)
  set(ORISCOPE_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
  if(NOT EXISTS ${ORISCOPE_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${ORISCOPE_GTEST_SOURCE_DIR}: "
                        "install Debian's googletest package (scripts/install-deps.sh)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${ORISCOPE_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(target gtest gtest_main gmock gmock_main)
    target_compile_options(${target} PRIVATE -O1)
  endforeach()
  add_library(oriscope_gtest_main INTERFACE)
  target_link_libraries(oriscope_gtest_main INTERFACE gtest gtest_main)
  add_library(oriscope_gmock INTERFACE)
  target_link_libraries(oriscope_gmock INTERFACE gmock)
endif()

# Test programs are compiled with -O1 in optimised builds: GoogleTest-heavy code
# builds about 40% faster than at -O3, and the libraries under test keep the
# build's own flags.
set(ORISCOPE_TEST_OPTIMIZE $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-O1>)

function(oriscope_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} oriscope_warnings)
  target_compile_options(${name} PRIVATE ${ORISCOPE_TEST_OPTIMIZE})
  if(WIN32)
    target_link_libraries(${name} PRIVATE oriscope_gtest_main)
    list(APPEND T_LABELS wine)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main Threads::Threads)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(WIN32)
    # Wine's own timeout fires first, so a hang is reported as such and the
    # wine process does not outlive the test.
    math(EXPR wineTimeout "${T_TIMEOUT} - 10")
    if(wineTimeout LESS 5)
      set(wineTimeout ${T_TIMEOUT})
    endif()
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT_MODIFICATION "ORISCOPE_WINE_TIMEOUT=set:${wineTimeout}")
  endif()
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
