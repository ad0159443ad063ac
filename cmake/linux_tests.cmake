# The real binary and the real kernel; each case in a PID namespace of its
# own, which takes root.

add_executable(corepen_system_tests tests/system_test.cc)
target_include_directories(corepen_system_tests PRIVATE tests platform/linux)
target_compile_definitions(corepen_system_tests PRIVATE
  COREPEN_BINARY="$<TARGET_FILE:corepen>" HELPER_BINARY="$<TARGET_FILE:thread_helper>")
target_link_libraries(corepen_system_tests PRIVATE GTest::gtest_main)
add_dependencies(corepen_system_tests corepen thread_helper)
gtest_discover_tests(corepen_system_tests PROPERTIES LABELS system)

# The Linux layer's own tests, run as the first process of a namespace.
add_executable(corepen_linux_tests
  platform/linux/process_test.cc platform/linux/toolhelp_test.cc)
target_include_directories(corepen_linux_tests PRIVATE tests)
target_compile_definitions(corepen_linux_tests PRIVATE
  HELPER_BINARY="$<TARGET_FILE:thread_helper>")
target_link_libraries(corepen_linux_tests PRIVATE
  corepen_tool corepen_platform GTest::gtest_main)
add_dependencies(corepen_linux_tests thread_helper)
add_test(NAME linux_platform
  COMMAND unshare --pid --fork --mount-proc --kill-child $<TARGET_FILE:corepen_linux_tests>)
set_tests_properties(linux_platform PROPERTIES LABELS system)
