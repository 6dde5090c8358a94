# Controller code: the 512-byte code blocks of the SM3270 and SM3271 groups and the
# 2048-byte SM3252D image. They are supplied with the controllers and are not part of this
# source tree. A build takes them from the folder KORVANTA_CONTROLLER_CODE_DIR names; with
# no folder it carries none and never sends any. Defines the library
# korvanta_controller_code, which the SDK links.
#
# The folder holds nine files:
#   sm3270ab-1.bin sm3270ab-2.bin    model 50
#   sm3270ac-1.bin sm3270ac-2.bin    model 51
#   sm3271ab-1.bin sm3271ab-2.bin    models 55 and 56
#   sm3271ad-1.bin sm3271ad-2.bin    model 57
#   sm3252d.bin                      the SM3252D image
# Each block is 512 bytes starting 02 C8 03; the image is 2048 bytes starting 02 D0 03.

set(KORVANTA_CONTROLLER_CODE_DIR "" CACHE PATH
    "Folder with the controller code files; empty: the build carries and sends none")

# Test code blocks are compiled into the identification test program only. They can never
# reach a Windows executable.
if(WIN32)
  set(_korvanta_test_code_default OFF)
else()
  set(_korvanta_test_code_default ON)
endif()
option(KORVANTA_TEST_CONTROLLER_CODE
       "Build the identification tests, which link test code blocks (not for Windows builds)"
       ${_korvanta_test_code_default})
if(WIN32 AND KORVANTA_TEST_CONTROLLER_CODE)
  message(FATAL_ERROR "KORVANTA_TEST_CONTROLLER_CODE: test code blocks are refused in a Windows build")
endif()

# Test blocks carry this text right after their three leading bytes.
set(_korvanta_test_code_mark "KORVANTA TEST CODE")

# Reads `file` into a C array initializer in `out`, after checking its size and first bytes.
function(_korvanta_read_code file size lead out)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "Controller code: ${file} is missing")
  endif()
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR bytes "${digits} / 2")
  if(NOT bytes EQUAL size)
    message(FATAL_ERROR "Controller code: ${file} holds ${bytes} bytes, not ${size}")
  endif()
  string(SUBSTRING "${hex}" 0 6 first)
  if(NOT first STREQUAL "${lead}")
    message(FATAL_ERROR "Controller code: ${file} does not start with the controller code bytes")
  endif()
  string(HEX "${_korvanta_test_code_mark}" mark)
  string(LENGTH "${mark}" mark_digits)
  string(SUBSTRING "${hex}" 6 ${mark_digits} after_lead)
  if(after_lead STREQUAL mark)
    message(FATAL_ERROR "Controller code: ${file} is a test block, refused in a product build")
  endif()
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," array "${hex}")
  set(${out} "${array}" PARENT_SCOPE)
endfunction()

if(KORVANTA_CONTROLLER_CODE_DIR STREQUAL "")
  add_library(korvanta_controller_code STATIC
    ${CMAKE_SOURCE_DIR}/src/sdk/controller/controller_code_none.cpp)
else()
  set(_dir "${KORVANTA_CONTROLLER_CODE_DIR}")
  set(_source "// Generated from ${_dir}: controller code supplied with the controllers.\n")
  string(APPEND _source "#include \"sdk/controller/controller_code.h\"\n\nnamespace {\n")
  set(_names sm3270ab-1 sm3270ab-2 sm3270ac-1 sm3270ac-2 sm3271ab-1 sm3271ab-2 sm3271ad-1 sm3271ad-2)
  set(_index 0)
  foreach(_name IN LISTS _names)
    _korvanta_read_code("${_dir}/${_name}.bin" 512 "02c803" _array)
    string(APPEND _source "const BYTE kBlock${_index}[kCodeBlockSize] = {${_array}};\n")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_dir}/${_name}.bin")
    math(EXPR _index "${_index} + 1")
  endforeach()
  _korvanta_read_code("${_dir}/sm3252d.bin" 2048 "02d003" _array)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_dir}/sm3252d.bin")
  string(APPEND _source "const BYTE kImage[kCodeImageSize] = {${_array}};\n}  // namespace\n\n")
  string(APPEND _source "const ControllerCodeSet& LinkedControllerCode() {\n")
  string(APPEND _source "    static const ControllerCodeSet kSet = {\n")
  string(APPEND _source "        {{kBlock0, kBlock1}, {kBlock2, kBlock3}, {kBlock4, kBlock5}, {kBlock6, kBlock7}},\n")
  string(APPEND _source "        kImage};\n    return kSet;\n}\n")
  set(_generated ${CMAKE_BINARY_DIR}/generated/controller_code_files.cpp)
  file(CONFIGURE OUTPUT ${_generated} CONTENT "${_source}" @ONLY)
  add_library(korvanta_controller_code STATIC ${_generated})
endif()
target_link_libraries(korvanta_controller_code PUBLIC korvanta_platform)
