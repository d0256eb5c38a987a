# The tests of a Windows build, under Wine: the unit tests, cross-built, through CTest's
# emulator; the end-to-end tests through a Linux harness (built by the host's compiler)
# that runs the Windows program through a probe of its own.
set(JOTLOG_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
if(NOT EXISTS ${JOTLOG_GOOGLETEST_SOURCE}/CMakeLists.txt OR NOT JOTLOG_WINE_DIR)
  set(why "No GoogleTest sources (Debian's googletest) or Wine of this build's bitness")
  message(STATUS "${why}: no Windows tests")
  # Said where the tests are run too, as a test skipped.
  add_test(NAME wine_tests COMMAND sh -c "echo '${why}: no Windows tests'; exit 77")
  set_tests_properties(wine_tests PROPERTIES SKIP_RETURN_CODE 77)
  return()
endif()
# GoogleTest built by the cross compiler.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${JOTLOG_GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${JOTLOG_WINE_DIR}/run)
endif()
# Wine's server, an X server and Wine's desktop, kept running for all the tests.
add_test(NAME wine_start COMMAND ${JOTLOG_WINE_DIR}/run --start)
add_test(NAME wine_stop COMMAND ${JOTLOG_WINE_DIR}/run --stop)
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)

add_library(jotlog_fake INTERFACE)
target_link_libraries(jotlog_fake INTERFACE jotlog_core)
add_executable(jotlog_tests ${JOTLOG_UNIT_TESTS} platform_win_test.cc)
target_link_libraries(jotlog_tests PRIVATE jotlog_fake jotlog_os gtest_main)
# Listed when CTest starts, under the emulator; the first run makes the prefix. The
# clipboard of Wine's desktop is one for all, so its users take turns.
gtest_discover_tests(jotlog_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 60 RESOURCE_LOCK clipboard)

include(${PROJECT_SOURCE_DIR}/fuzz/replay.cmake)
jotlog_add_corpus_tests(Z:${PROJECT_SOURCE_DIR}/fuzz/corpus)
set_tests_properties(settings_corpus utf8_corpus picture_corpus PROPERTIES FIXTURES_REQUIRED wine)

add_executable(jotlog_probe win_probe.cc)
target_link_libraries(jotlog_probe PRIVATE jotlog_os ole32 uuid)
target_link_options(jotlog_probe PRIVATE -municode)

math(EXPR JOTLOG_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
# The ZIP as a user meets it: unpacked where the user may not write, run under Wine as
# that user (package_test.sh).
add_test(NAME package_zip COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package_test.sh zip
  ${PROJECT_BINARY_DIR} ${PROJECT_VERSION} $<TARGET_FILE:jotlog_probe> ${JOTLOG_WINE_DIR})
set_tests_properties(package_zip PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77
  TIMEOUT 300 ENVIRONMENT
  "CPACK=${CMAKE_CPACK_COMMAND};CMAKE=${CMAKE_COMMAND};WINE=${JOTLOG_WINE};SYSTEM=win${JOTLOG_BITS}")
# The installer as a user meets it: installed, run, installed again and uninstalled, all
# silently, by that user in a prefix of its own.
add_test(NAME package_nsis COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package_test.sh nsis
  ${PROJECT_BINARY_DIR} ${PROJECT_VERSION} $<TARGET_FILE:jotlog_probe> ${JOTLOG_WINE_DIR})
set_tests_properties(package_nsis PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77
  TIMEOUT 300 ENVIRONMENT
  "CPACK=${CMAKE_CPACK_COMMAND};CMAKE=${CMAKE_COMMAND};WINE=${JOTLOG_WINE};SYSTEM=win${JOTLOG_BITS}")

# The harness, by the host's compiler.
find_path(JOTLOG_HOST_GTEST gtest/gtest.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
find_program(JOTLOG_HOST_CXX NAMES c++ g++ NO_CMAKE_FIND_ROOT_PATH)
if(NOT JOTLOG_HOST_GTEST OR NOT JOTLOG_HOST_CXX)
  message(STATUS "No host compiler or GoogleTest: no Windows end-to-end tests")
  return()
endif()
include(ExternalProject)
set(JOTLOG_HOST_DIR ${CMAKE_BINARY_DIR}/host)
if(CMAKE_GENERATOR MATCHES "Makefiles")
  set(JOTLOG_HOST_BUILD $(MAKE) -C <BINARY_DIR>)  # shares the outer make's jobs
else()
  set(JOTLOG_HOST_BUILD ${CMAKE_COMMAND} --build <BINARY_DIR> --target)
endif()
ExternalProject_Add(jotlog_host
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${JOTLOG_HOST_DIR}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=${JOTLOG_HOST_CXX}
             -DJOTLOG_WERROR=${JOTLOG_WERROR} -DJOTLOG_WINE_HARNESS=ON
  BUILD_COMMAND ${JOTLOG_HOST_BUILD} jotlog_wine_e2e_tests
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)
add_dependencies(jotlog_host jotlog jotlog_probe)
add_test(NAME wine_e2e COMMAND ${JOTLOG_HOST_DIR}/tests/jotlog_wine_e2e_tests)
set_tests_properties(wine_e2e PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300 RESOURCE_LOCK clipboard ENVIRONMENT
  "JOTLOG_WINE_DIR=${JOTLOG_WINE_DIR};JOTLOG_WIN_EXE=$<TARGET_FILE:jotlog>;JOTLOG_PROBE=$<TARGET_FILE:jotlog_probe>;JOTLOG_WIN_BITS=${JOTLOG_BITS}")

