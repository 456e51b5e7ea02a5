# Shared compile settings, the sanitizer switch and the test helper.

add_library(nyvex_warnings INTERFACE)
add_library(Nyvex::warnings ALIAS nyvex_warnings)
target_compile_options(nyvex_warnings INTERFACE -Wall -Wextra -Werror)
target_compile_definitions(nyvex_warnings INTERFACE QT_NO_KEYWORDS)

if(NYVEX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "NYVEX_FUZZ needs clang (libFuzzer): configure a fresh build folder")
  endif()
  # Everything is instrumented for libFuzzer's coverage; only the fuzz targets link its driver.
  add_compile_options(-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(NYVEX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(NYVEX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT NYVEX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "NYVEX_SANITIZE must be empty, 'address' or 'thread'")
endif()

set(NYVEX_TEST_OUTPUT_DIR ${CMAKE_BINARY_DIR}/tests)

# nyvex_register_test(NAME ON_X_SERVER LABELS ENV PROPERTIES): the test run of a built test
# executable: on the offscreen Qt platform, or on a virtual X server of its own (xvfb-run, first
# free display) when ON_X_SERVER is true.
function(nyvex_register_test name on_x_server labels env properties)
  set(platform offscreen)
  if(on_x_server)
    find_program(XVFB_RUN xvfb-run REQUIRED)
    add_test(NAME ${name} COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:${name}>)
    set(platform xcb)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS "${labels}"
                                          ENVIRONMENT "QT_QPA_PLATFORM=${platform};${env}")
  if(properties)
    set_tests_properties(${name} PROPERTIES ${properties})
  endif()
endfunction()

# add_nyvex_test(NAME SOURCES... [LIBS ...] [LABELS ...] [ENV VAR=value ...] [PROPERTIES ...])
# One GoogleTest executable per component; LABELS "threaded" puts it into the ThreadSanitizer run.
function(add_nyvex_test name)
  cmake_parse_arguments(T "ON_X_SERVER" "" "SOURCES;LIBS;LABELS;ENV;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Nyvex::warnings)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${NYVEX_TEST_OUTPUT_DIR})
  target_compile_definitions(${name} PRIVATE NYVEX_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                             NYVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  nyvex_register_test(${name} "${T_ON_X_SERVER}" "${T_LABELS}" "${T_ENV}" "${T_PROPERTIES}")
endfunction()

# nyvex_library_exports(TARGET MAP): the one export style of the station's shared libraries. Only
# the functions the version script MAP names leave the library (not even the standard library's
# template instances of the static parts it links), and no symbol is left undefined for dlopen to
# discover later.
function(nyvex_library_exports target map)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden
                                             VISIBILITY_INLINES_HIDDEN ON LINK_DEPENDS ${map})
  target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined
                      -Wl,--version-script=${map})
endfunction()

# add_nyvex_qt_test(NAME SOURCES... [LIBS ...] [LABELS ...] [ENV VAR=value ...] [PROPERTIES ...]
#                   [ON_X_SERVER])
# One Qt Test executable for a dialog or window: real widgets on the offscreen platform, or with
# ON_X_SERVER on a virtual X server of its own (xvfb-run, first free display).
function(add_nyvex_qt_test name)
  cmake_parse_arguments(T "ON_X_SERVER" "" "SOURCES;LIBS;LABELS;ENV;PROPERTIES" ${ARGN})
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test Qt6::Widgets Nyvex::warnings)
  set_target_properties(${name} PROPERTIES AUTOMOC ON RUNTIME_OUTPUT_DIRECTORY ${NYVEX_TEST_OUTPUT_DIR})
  target_compile_definitions(${name} PRIVATE NYVEX_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                             NYVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  nyvex_register_test(${name} "${T_ON_X_SERVER}" "${T_LABELS}" "${T_ENV}" "${T_PROPERTIES}")
endfunction()
