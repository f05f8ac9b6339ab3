# Project-wide settings: warnings, test framework, and Wine as the test runner
# of Windows executables.

# Objects are reused across build trees and clones when ccache is installed.
find_program(NIADC_CCACHE ccache)
if(NIADC_CCACHE)
  set(CMAKE_C_COMPILER_LAUNCHER ${NIADC_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${NIADC_CCACHE})
endif()

add_library(niadc_warnings INTERFACE)
target_compile_options(niadc_warnings INTERFACE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Werror)

if(WIN32)
  # Windows 7 API level: LoadLibraryEx search flags, SRW locks, condition variables.
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
endif()

if(CMAKE_CROSSCOMPILING AND WIN32)
  # GoogleTest from Debian's sources, built with the cross compiler.
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  set(NIADC_WINE wine)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # 32-bit Wine lives in an i386 Debian root (made by ./run test), as the
    # host application's bitness needs it; this build tree is bound inside.
    set(NIADC_WIN32_ROOT /var/cache/niadc/wine-i386 CACHE PATH "i386 Debian root holding 32-bit Wine")
    set(NIADC_WINE ${CMAKE_CURRENT_LIST_DIR}/wine-i386.sh ${NIADC_WIN32_ROOT} ${CMAKE_BINARY_DIR} wine)
  endif()
  set(NIADC_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${NIADC_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= ${NIADC_WINE})
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Adds a GoogleTest executable whose cases CTest runs one by one. Cases that
# share a machine-wide resource (the Windows registry) name it after LOCK, so
# that CTest never runs two of them at once. PROPERTIES adds test properties
# to every case (for example a fixture the cases need).
function(niadc_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "LOCK" "PROPERTIES")
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE niadc_warnings GTest::gtest GTest::gmock GTest::gtest_main)
  set(lock)
  if(ARG_LOCK)
    set(lock RESOURCE_LOCK ${ARG_LOCK})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 ${lock} ${ARG_PROPERTIES})
endfunction()

# The driver's version for code and resources: niadc_version.h.
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${CMAKE_BINARY_DIR}/generated/niadc_version.h @ONLY)
add_library(niadc_version INTERFACE)
target_include_directories(niadc_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
