# The Windows side of the console: registry backend, dialogs, main window, program.
add_library(kes_registry_win32 STATIC win32_registry.cpp)
kes_defaults(kes_registry_win32)
target_link_libraries(kes_registry_win32 PUBLIC kes_store kes_platform advapi32)

if(BUILD_TESTING)
  add_library(kes_test_registry STATIC test_registry_win32.cpp)
  kes_defaults(kes_test_registry)
  target_link_libraries(kes_test_registry PUBLIC kes_platform advapi32)
  kes_add_test(win32_registry_test SOURCES win32_registry_test.cpp
               LIBS kes_store_conformance kes_registry_win32 kes_test_registry)
endif()
