# Test helpers shared by every tests/ folder.
#
# oriscope_add_gtest(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>])
#   Builds a GoogleTest program and registers it with CTest as one test.
#   Natively it links Debian's GoogleTest; in the Windows build it links the
#   GoogleTest cross-built from Debian's sources and runs under Wine through
#   the emulator wrapper of the toolchain file.
include_guard(GLOBAL)

if(ORISCOPE_BUILD_TESTS AND NOT WIN32)
  find_package(GTest REQUIRED)
  find_package(Threads REQUIRED)
endif()

function(oriscope_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} oriscope_warnings)
  if(WIN32)
    target_link_libraries(${name} PRIVATE oriscope_gtest_main)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main Threads::Threads)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
