# GoogleTest: Debian's build where it fits, else its sources (the
# googletest package), compiled with this build's compiler.
set(COREPEN_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest QUIET)
endif()
if(NOT GTest_FOUND)
  if(NOT EXISTS ${COREPEN_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "Tests need GoogleTest: install Debian's googletest "
                        "or set COREPEN_GTEST_SOURCE (or BUILD_TESTING=OFF)")
  endif()
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${COREPEN_GTEST_SOURCE} googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
include(GoogleTest)

if(WIN32)
  if(NOT MINGW)
    message(FATAL_ERROR "The unit tests bind the fake to kernel32's names with "
                        "mingw-w64 (GNU) assembly; build with BUILD_TESTING=OFF")
  endif()
  set(fake_binding platform/fake/bind_windows.cc)
else()
  set(fake_binding platform/fake/bind_posix.cc)
endif()
add_library(corepen_platform_fake OBJECT platform/fake/fake_platform.cc ${fake_binding})
target_include_directories(corepen_platform_fake PUBLIC platform platform/fake)

add_executable(corepen_unit_tests
  tool/affinity_mask_test.cc tool/apply_pass_test.cc tool/run_test.cc)
target_link_libraries(corepen_unit_tests PRIVATE
  corepen_tool corepen_platform_fake GTest::gmock GTest::gtest_main)
if(MINGW)
  # Under Wine, with no toolchain DLLs beside it.
  target_link_options(corepen_unit_tests PRIVATE -static)
endif()

if(WIN32)
  include(cmake/windows_tests.cmake)
else()
  gtest_discover_tests(corepen_unit_tests PROPERTIES LABELS unit)
  include(cmake/linux_tests.cmake)
endif()

# libFuzzer (clang): the mask builder against a model, for a bounded time,
# from the committed corpus.
option(COREPEN_FUZZ "Build and run the command-line fuzzer (clang)" OFF)
set(COREPEN_FUZZ_SECONDS 60 CACHE STRING "How long the fuzz test runs")
if(COREPEN_FUZZ)
  add_executable(corepen_fuzz tool/affinity_mask_fuzz.cc)
  target_link_libraries(corepen_fuzz PRIVATE corepen_tool corepen_platform_fake)
  target_compile_options(corepen_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_options(corepen_fuzz PRIVATE -fsanitize=fuzzer)
  add_test(NAME fuzz_command_line
    COMMAND sh -c "rm -rf fuzz_corpus && cp -r '${CMAKE_SOURCE_DIR}/tool/fuzz_corpus' fuzz_corpus && \
exec '$<TARGET_FILE:corepen_fuzz>' -max_total_time=${COREPEN_FUZZ_SECONDS} -timeout=10 \
-print_final_stats=1 fuzz_corpus")
  set_tests_properties(fuzz_command_line PROPERTIES LABELS unit
    TIMEOUT 600)
endif()
