# Under Wine, in one throwaway prefix made for this test run and removed
# after it: the exe can only reach that prefix's Windows processes.
set(wine_prefix ${CMAKE_BINARY_DIR}/wineprefix)
set(wine_environment WINEPREFIX=${wine_prefix} WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree,mshtml=")
add_test(NAME wine_prefix_create
  COMMAND sh -c "wineserver -k 2>/dev/null; rm -rf '${wine_prefix}' && wineboot --init && wineserver -w")
add_test(NAME wine_prefix_remove
  COMMAND sh -c "wineserver -k 2>/dev/null; rm -rf '${wine_prefix}'")
set_tests_properties(wine_prefix_create PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine_prefix_remove PROPERTIES FIXTURES_CLEANUP wine)

add_test(NAME windows_unit COMMAND corepen_unit_tests)

add_executable(win_helper tests/windows/win_helper.c)
foreach(case usage confine absent rejected win98)
  add_test(NAME windows_end_to_end_${case}
    COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/end_to_end.sh
            $<TARGET_FILE:corepen> $<TARGET_FILE:win_helper> ${case})
  list(APPEND windows_tests windows_end_to_end_${case})
endforeach()

# The exe needs nothing beside it: kernel32 and the C runtime Windows ships.
add_test(NAME windows_imports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DEXE=$<TARGET_FILE:corepen>
          -P ${CMAKE_SOURCE_DIR}/cmake/check_imports.cmake)

set_tests_properties(wine_prefix_create wine_prefix_remove windows_unit
  windows_imports ${windows_tests} PROPERTIES
  LABELS windows ENVIRONMENT "${wine_environment}")
set_tests_properties(windows_unit ${windows_tests} PROPERTIES FIXTURES_REQUIRED wine)
set_tests_properties(wine_prefix_create wine_prefix_remove ${windows_tests}
  PROPERTIES TIMEOUT 120)
