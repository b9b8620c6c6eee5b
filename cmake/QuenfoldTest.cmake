# GoogleTest from Debian's source package, built with the same toolchain.
set(QF_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(EXISTS ${QF_GTEST_SOURCE}/CMakeLists.txt)
  set(QF_TESTS ON)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QF_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  include(GoogleTest)
else()
  message(STATUS "GoogleTest not found at ${QF_GTEST_SOURCE}: tests are not built")
  set(QF_TESTS OFF)
endif()

# qf_add_test(NAME SOURCES ... [LIBS ...] [RESOURCES file.rc ...] [TIMEOUT s] [LABELS ...] [PREFIX p])
# One test program: its GoogleTest cases become ctest tests, run through Wine. Label "pure"
# (logic without windows) and "engine" (the copying engine) are what the 32-bit build runs.
# PREFIX goes before each case's name, for a program that runs cases of another once more.
function(qf_add_test name)
  if(NOT QF_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT;PREFIX" "SOURCES;LIBS;RESOURCES;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES} ${T_RESOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 180
    TEST_PREFIX "${T_PREFIX}"
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
