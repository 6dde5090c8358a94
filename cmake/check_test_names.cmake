# Checks that every CTest name of a build is short and the same from build to build: no
# parameter value printed into it (GoogleTest prints a value it has no printer for as its
# bytes, pointers included) and at most 160 characters.
#
#   cmake -DCTEST=<ctest> -DBUILD_DIR=<build> -DWORK_DIR=<scratch> -P check_test_names.cmake
#
# The listing runs from WORK_DIR, whose CTest file only names the build, so that it writes
# its log there and not over the log of a CTest run of the build that is going on.
cmake_minimum_required(VERSION 3.25)
if(NOT CTEST OR NOT BUILD_DIR OR NOT WORK_DIR)
  message(FATAL_ERROR
          "usage: cmake -DCTEST=<ctest> -DBUILD_DIR=<dir> -DWORK_DIR=<dir> -P check_test_names.cmake")
endif()

file(MAKE_DIRECTORY ${WORK_DIR})
file(WRITE ${WORK_DIR}/CTestTestfile.cmake "subdirs(\"${BUILD_DIR}\")\n")
execute_process(COMMAND ${CTEST} -N --test-dir ${WORK_DIR}
                OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "ctest -N failed (${result}): ${errors}")
endif()

# One line per test, "  Test  #12: name"; a name holds no line break.
string(REGEX MATCHALL "Test +#[0-9]+: [^\n]*" lines "${listing}")
list(LENGTH lines count)
if(count EQUAL 0)
  message(FATAL_ERROR "ctest -N listed no test:\n${listing}")
endif()

set(bad "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^Test +#[0-9]+: " "" name "${line}")
  string(LENGTH "${name}" length)
  if(length GREATER 160)
    string(APPEND bad "  ${length} characters: ${name}\n")
  elseif(name MATCHES "GetParam\\(\\)|-byte object <")
    string(APPEND bad "  a printed parameter: ${name}\n")
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "CTest names that are too long or change between builds:\n${bad}")
endif()
message(STATUS "${count} CTest names, none too long, none with a printed parameter")
