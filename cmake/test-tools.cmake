# What the tests need and the programs never do: GoogleTest for the unit
# tests (for Windows, its sources, built here, and wine to run them); Python 3
# with pexpect and pytest, and libfaketime, for the end-to-end sessions (for
# Windows, pyte and wine instead of libfaketime). What is missing is said and
# the tests that need it are left out, so that the programs build without any
# of it; with RENTDESK_REQUIRE_TESTS a missing package stops the configuring.
# Sets GTest::gtest_main when there, and RENTDESK_E2E_TESTS.
function(leave_out)
  string(JOIN "" why ${ARGV})
  if(RENTDESK_REQUIRE_TESTS)
    message(FATAL_ERROR "${why}")
  endif()
  message(STATUS "${why}: left out")
endfunction()

if(CMAKE_CROSSCOMPILING AND WINE_PROGRAM AND EXISTS /usr/src/googletest/CMakeLists.txt)
  set(INSTALL_GTEST OFF)
  set(BUILD_GMOCK OFF)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
elseif(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest)
endif()
if(NOT TARGET GTest::gtest_main)
  leave_out("The unit tests need GoogleTest (Debian: libgtest-dev, and wine for Windows)")
endif()

set(Python3_ROOT_DIR /usr CACHE PATH "The Python whose modules the tests use: the system's")
find_package(Python3 COMPONENTS Interpreter)
set(imports "pexpect, pytest")
if(CMAKE_CROSSCOMPILING) # wine's sessions run on today's date, without libfaketime
  string(APPEND imports ", pyte")
  set(FAKETIME_LIBRARY ${WINE_PROGRAM})
else()
  find_file(FAKETIME_LIBRARY libfaketime.so.1 PATHS /usr/lib/x86_64-linux-gnu/faketime NO_DEFAULT_PATH)
endif()
set(missing 1)
if(Python3_Interpreter_FOUND AND FAKETIME_LIBRARY)
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import ${imports}" RESULT_VARIABLE missing
                  OUTPUT_QUIET ERROR_QUIET)
endif()
set(RENTDESK_E2E_TESTS FALSE)
if(missing EQUAL 0)
  set(RENTDESK_E2E_TESTS TRUE)
else()
  leave_out("The end-to-end tests need Python 3 with ${imports}, and libfaketime or, for Windows, "
            "wine (Debian: python3-pexpect python3-pytest python3-pyte faketime wine)")
endif()
