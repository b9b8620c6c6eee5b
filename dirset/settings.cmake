# The settings file 配置.ini: the INI text codec, the file's bytes, and the save and load.
add_library(qf_settings_core STATIC
  ini_text.cpp ini_text.h
  settings_layout.cpp settings_layout.h
  settings_io.cpp settings_io.h
  settings_reader.cpp settings_reader.h
  settings_path.cpp settings_path.h)
target_link_libraries(qf_settings_core PUBLIC qf_win)

qf_add_test(ini_text_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/dirset/ini_text_test.cpp
  LIBS qf_settings_core
  TIMEOUT 60
  LABELS pure)

qf_add_test(settings_platform_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/dirset/settings_platform_test.cpp
  LIBS qf_settings_core
  TIMEOUT 60
  LABELS pure)

qf_add_test(settings_file_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/dirset/settings_file_test.cpp
  LIBS qf_settings_core qf_test_support
  TIMEOUT 120
  LABELS pure)
if(TARGET settings_file_test AND CMAKE_CROSSCOMPILING)
  add_test(NAME settings_long_path
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/dirset/settings_long_path.sh
            ${CMAKE_BINARY_DIR}/wine-run $<TARGET_FILE:settings_file_test>)
  set_tests_properties(settings_long_path PROPERTIES TIMEOUT 120 LABELS pure)
endif()

# The save button and the loader, on the directory list.
add_library(qf_settings STATIC settings_file.cpp settings_file.h)
target_link_libraries(qf_settings PUBLIC qf_settings_core qf_win qf_ui_thread qf_sync_state
  qf_dirlist qf_log_dialogs)

if(TARGET qf_dirlist_test_window)
  qf_add_test(settings_glue_test
    SOURCES ${CMAKE_SOURCE_DIR}/tests/dirset/settings_glue_test.cpp
    LIBS qf_settings qf_dirlist_test_window
    TIMEOUT 60)
endif()

qf_add_test(settings_fuzz_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/dirset/settings_fuzz_test.cpp
  LIBS qf_settings_core
  TIMEOUT 120
  LABELS pure)
