# Shared build rules: warnings, sanitizers, static Windows programs, and the helpers that add
# tests, fuzz targets and benchmarks the same way in every folder.

if(WIN32)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # Programs and tests run without the compiler's DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(KES_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KES_FUZZ)
  # Undefined behaviour stops a fuzz run like a crash does, instead of scrolling past.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# Our own code: C++20, all warnings, warnings are errors.
function(kes_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

macro(kes_add_googletest)
  # Built from Debian's sources for every preset, so the mingw tests get the same GoogleTest.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
endmacro()

# kes_add_test(target [NAME short] SOURCES a.cpp b.cpp LIBS lib1 lib2 [LOCKS lock...])
# One ctest entry per test program, named <folder>.<short> (short: the target without "_test",
# lower case), so that `./dev test <folder>` selects a folder's tests; on win64 ctest runs it
# through the Wine emulator. Tests that share a window title or a registry branch name a common
# lock, so `ctest -j` never runs them side by side.
function(kes_add_test target)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LOCKS" ${ARGN})
  # The folder is the part a test belongs to: widgets/HTMLText -> htmltext, console/form -> console.
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  string(REGEX REPLACE "^widgets/" "" rel "${rel}")
  string(REGEX REPLACE "/.*" "" folder "${rel}")
  if(NOT T_NAME)
    string(REGEX REPLACE "_test$" "" T_NAME "${target}")
  endif()
  string(TOLOWER "${folder}.${T_NAME}" name)
  add_executable(${target} ${T_SOURCES})
  kes_defaults(${target})
  target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${target} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  if(T_LOCKS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
  endif()
  # ./dev test builds only the targets of the tests it runs: it looks them up here.
  set_property(GLOBAL APPEND PROPERTY KES_TEST_TARGETS "${name} ${target}")
endfunction()

# Writes build/<preset>/kes_tests.txt, one "test target" line per test; called once at the end.
function(kes_write_test_targets)
  get_property(lines GLOBAL PROPERTY KES_TEST_TARGETS)
  list(JOIN lines "\n" text)
  file(WRITE ${CMAKE_BINARY_DIR}/kes_tests.txt "${text}\n")
endfunction()

# kes_add_fuzzer(name SOURCES ... LIBS ...): a libFuzzer target, built only in the fuzz preset.
function(kes_add_fuzzer name)
  if(NOT KES_FUZZ)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  kes_defaults(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
endfunction()

# kes_add_bench(name SOURCES ... LIBS ...): a benchmark program. Host ones may use Google
# Benchmark; Windows ones are plain timing programs run under Wine. Each prints its figures as
# lines "name: value".
function(kes_add_bench name)
  if(NOT KES_BENCH)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  kes_defaults(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  if(NOT WIN32)
    find_package(benchmark REQUIRED)
    target_link_libraries(${name} PRIVATE benchmark::benchmark)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# kes_delay_load(target dll...): the program loads these system DLLs at its first call into
# each instead of at start-up. cmake/delayload/<dll>.txt lists the functions it calls there, as
# name@bytes (the 32-bit decoration, dropped for 64-bit); a call to one not listed fails the link.
# The delay-import libraries take the place of the system's import libraries for this target
# only: their folder is searched first.
function(kes_delay_load target)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_delayload)
  set(libs)
  foreach(dll ${ARGN})
    set(list ${PROJECT_SOURCE_DIR}/cmake/delayload/${dll}.txt)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list})
    file(STRINGS ${list} names REGEX "^[A-Za-z]")
    set(def "LIBRARY ${dll}.dll\nEXPORTS\n")
    foreach(name ${names})
      if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        string(REGEX REPLACE "@[0-9]+$" "" name ${name})
      endif()
      string(APPEND def "${name}\n")
    endforeach()
    file(CONFIGURE OUTPUT ${dir}/${dll}.def CONTENT "${def}" @ONLY)
    set(kill)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(kill --kill-at)
    endif()
    add_custom_command(OUTPUT ${dir}/lib${dll}.a
      COMMAND ${CMAKE_DLLTOOL} --input-def ${dir}/${dll}.def --dllname ${dll}.dll ${kill}
              --output-delaylib ${dir}/lib${dll}.a
      DEPENDS ${dir}/${dll}.def VERBATIM)
    list(APPEND libs ${dir}/lib${dll}.a)
  endforeach()
  add_custom_target(${target}_delayload DEPENDS ${libs})
  add_dependencies(${target} ${target}_delayload)
  target_link_directories(${target} BEFORE PRIVATE ${dir})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${libs})
endfunction()
