# The Windows side of the console: registry backend, controls, dialogs, main window, program.
add_library(kes_registry_win32 STATIC win32_registry.cpp)
kes_defaults(kes_registry_win32)
target_link_libraries(kes_registry_win32 PUBLIC kes_store kes_platform advapi32)

add_library(kes_console_win32 STATIC controls_win32.cpp dialogs.cpp dialogs_win32.cpp
            AdminUnit1_win32.cpp AdminUnit1_viewer_win32.cpp AdminUnit1_collect_win32.cpp
            log_viewer_win32.cpp outlook_mail_win32.cpp)
kes_defaults(kes_console_win32)
target_link_libraries(kes_console_win32 PUBLIC kes_registry_win32 kes_viewer_core kes_editlist
                      kes_platform comctl32 comdlg32 msimg32 ole32 oleaut32 uuid shell32 gdi32
                      user32)

add_executable(Quillard WIN32 main_win32.cpp Quillard.rc)
kes_defaults(Quillard)
target_link_options(Quillard PRIVATE -municode)
target_link_libraries(Quillard PRIVATE kes_console_win32)

if(BUILD_TESTING)
  add_library(kes_test_registry STATIC test_registry_win32.cpp)
  kes_defaults(kes_test_registry)
  target_link_libraries(kes_test_registry PUBLIC kes_platform advapi32)
  kes_add_test(win32_registry_test SOURCES win32_registry_test.cpp
               LIBS kes_store_conformance kes_registry_win32 kes_test_registry)
  kes_add_test(AdminUnit1_win32_test SOURCES AdminUnit1_win32_test.cpp Quillard.rc
               LIBS kes_console_win32 kes_test_registry kes_store)
endif()

add_library(kes_driver_win32 STATIC driver_win32.cpp)
kes_defaults(kes_driver_win32)
target_link_libraries(kes_driver_win32 PUBLIC kes_platform user32)
add_executable(quillard_driver quillard_driver_win32.cpp)
kes_defaults(quillard_driver)
target_link_libraries(quillard_driver PRIVATE kes_driver_win32)

if(BUILD_TESTING)
  # End to end: the real Quillard.exe, a prepared registry, driven through its windows.
  kes_add_test(quillard_e2e_win32_test SOURCES quillard_e2e_win32_test.cpp
               LIBS kes_driver_win32 kes_test_registry version)
  add_dependencies(quillard_e2e_win32_test Quillard)
  target_compile_definitions(quillard_e2e_win32_test PRIVATE
                             QUILLARD_EXE="$<TARGET_FILE_NAME:Quillard>")
endif()

if(KES_BENCH)
  add_executable(minimal_window WIN32 minimal_window_win32.cpp)
  kes_defaults(minimal_window)
  target_link_options(minimal_window PRIVATE -municode)
  add_executable(minimal_window_v6 WIN32 minimal_window_win32.cpp minimal_window_v6.rc)
  kes_defaults(minimal_window_v6)
  target_link_options(minimal_window_v6 PRIVATE -municode)
  target_link_libraries(minimal_window_v6 PRIVATE comctl32)
  target_compile_definitions(minimal_window_v6 PRIVATE KES_COMMON_CONTROLS_6)
  kes_add_bench(startup_bench SOURCES startup_bench_win32.cpp)
  add_dependencies(startup_bench Quillard minimal_window minimal_window_v6)
endif()

# The log viewer, support mail and collection settings add their files below.

if(BUILD_TESTING)
  kes_add_test(log_viewer_win32_test SOURCES log_viewer_win32_test.cpp Quillard.rc
               LIBS kes_console_win32 kes_test_registry)
  kes_add_test(collect_setting_win32_test SOURCES collect_setting_win32_test.cpp Quillard.rc
               LIBS kes_console_win32 kes_test_registry)

  # Stands for Outlook in the support mail's tests; registered and removed by the tests.
  add_library(fake_outlook SHARED fake_outlook_win32.cpp fake_outlook.def)
  kes_defaults(fake_outlook)
  set_target_properties(fake_outlook PROPERTIES PREFIX "")
  target_link_libraries(fake_outlook PRIVATE ole32 oleaut32 uuid)
  kes_add_test(outlook_mail_win32_test SOURCES outlook_mail_win32_test.cpp Quillard.rc
               LIBS kes_console_win32)
  add_dependencies(outlook_mail_win32_test fake_outlook)
endif()

if(KES_BENCH)
  kes_add_bench(log_refresh_bench SOURCES log_refresh_bench_win32.cpp Quillard.rc
                LIBS kes_console_win32)
  target_link_options(log_refresh_bench PRIVATE -municode)
endif()
