# The tests of a Windows build, run under Wine: the unit tests, cross-built, through CTest's
# emulator; and the end-to-end tests, whose harness is a Linux program (built here by the
# host's compiler) that runs the Windows program under Wine and its Linux twin side by
# side.

# GoogleTest built by the cross compiler from Debian's sources (package googletest).
set(JOTLOG_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
find_program(JOTLOG_WINE wine)
find_program(JOTLOG_WINESERVER wineserver)
if(NOT EXISTS ${JOTLOG_GOOGLETEST_SOURCE}/CMakeLists.txt OR NOT JOTLOG_WINE
   OR NOT JOTLOG_WINESERVER)
  message(STATUS "GoogleTest's sources or Wine not found: the Windows tests are not built")
  return()
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${JOTLOG_GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# Wine with a prefix and home of the build's own; the first use makes the prefix.
set(JOTLOG_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
set(JOTLOG_WINE_RUN ${JOTLOG_WINE_DIR}/run)
configure_file(wine.sh.in ${JOTLOG_WINE_RUN} @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
  WORLD_EXECUTE)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${JOTLOG_WINE_RUN})
endif()
# Every test starts Wine programs; one server kept running for all of them saves each
# the seconds of starting its own.
add_test(NAME wine_start COMMAND ${JOTLOG_WINE_RUN} --start)
add_test(NAME wine_stop COMMAND ${JOTLOG_WINE_RUN} --stop)
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)

add_library(jotlog_fake STATIC fake_platform.cc)
target_link_libraries(jotlog_fake PUBLIC jotlog_core)

add_executable(jotlog_tests ${JOTLOG_UNIT_TESTS} platform_win_test.cc)
target_link_libraries(jotlog_tests PRIVATE jotlog_fake jotlog_os gtest_main)
# Listed when CTest starts, under the emulator (the first run may have to make the prefix).
gtest_discover_tests(jotlog_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 60)

add_executable(jotlog_probe win_probe.cc)
target_link_libraries(jotlog_probe PRIVATE jotlog_os)
target_link_options(jotlog_probe PRIVATE -municode)

# The harness and the Linux program, built for the host by its own compiler.
find_path(JOTLOG_HOST_GTEST gtest/gtest.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
find_program(JOTLOG_HOST_CXX NAMES c++ g++ NO_CMAKE_FIND_ROOT_PATH)
if(NOT JOTLOG_HOST_GTEST OR NOT JOTLOG_HOST_CXX)
  message(STATUS "No host compiler or GoogleTest: the end-to-end tests are not built")
  return()
endif()
include(ExternalProject)
set(JOTLOG_HOST_DIR ${CMAKE_BINARY_DIR}/host)
ExternalProject_Add(jotlog_host
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${JOTLOG_HOST_DIR}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=${JOTLOG_HOST_CXX}
             -DJOTLOG_WERROR=${JOTLOG_WERROR} -DJOTLOG_WINE_HARNESS=ON
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --parallel 2
                --target jotlog jotlog_wine_e2e_tests
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)
# Built last, when nothing else of this build is, so its own parallel jobs are the only ones.
add_dependencies(jotlog_host jotlog jotlog_probe jotlog_tests)

add_test(NAME wine_e2e COMMAND ${JOTLOG_HOST_DIR}/tests/jotlog_wine_e2e_tests)
set_tests_properties(wine_e2e PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300 ENVIRONMENT
  "JOTLOG_WINE_DIR=${JOTLOG_WINE_DIR};JOTLOG_WIN_EXE=$<TARGET_FILE:jotlog>;JOTLOG_PROBE=$<TARGET_FILE:jotlog_probe>;JOTLOG_LINUX_EXE=${JOTLOG_HOST_DIR}/jotlog")
