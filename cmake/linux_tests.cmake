# The real binary and the real kernel; each case in a PID namespace of its
# own, which takes root.
add_executable(thread_helper tests/thread_helper.c)
find_package(Threads REQUIRED)
target_link_libraries(thread_helper PRIVATE Threads::Threads)

add_executable(corepen_system_tests tests/system_test.cc)
target_include_directories(corepen_system_tests PRIVATE tests)
target_compile_definitions(corepen_system_tests PRIVATE
  COREPEN_BINARY="$<TARGET_FILE:corepen>" HELPER_BINARY="$<TARGET_FILE:thread_helper>")
target_link_libraries(corepen_system_tests PRIVATE GTest::gtest_main)
add_dependencies(corepen_system_tests corepen thread_helper)
gtest_discover_tests(corepen_system_tests PROPERTIES LABELS system)
