# The main window and the introduction window.
add_library(qf_ui STATIC
  main_window.cpp main_window.h
  main_window_layout.cpp main_window_layout.h
  intro_window.cpp intro_window.h
  interval_label.cpp interval_label.h
  list_cell_tip.cpp list_cell_tip.h
  window_class.cpp window_class.h
  resource.h)
target_link_libraries(qf_ui PUBLIC
  qf_dpi qf_log_dialogs qf_dirlist qf_settings qf_scheduler qf_sync_host qf_sync_state qf_ui_thread comctl32)

# The program's resource script; it also carries the dialogs' templates. Static libraries
# cannot carry resources, so every program showing these windows compiles it itself.
set(QF_PROGRAM_RC ${CMAKE_CURRENT_SOURCE_DIR}/quenfold.rc CACHE INTERNAL "")
set_source_files_properties(${QF_PROGRAM_RC} PROPERTIES OBJECT_DEPENDS
  "${CMAKE_CURRENT_SOURCE_DIR}/quenfold.ico;${QF_GENERATED}/quenfold.manifest;${QF_GENERATED}/version.h;${CMAKE_CURRENT_SOURCE_DIR}/resource.h;${CMAKE_CURRENT_SOURCE_DIR}/dialogs.rc")

qf_add_test(main_window_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/ui/main_window_test.cpp ${CMAKE_SOURCE_DIR}/tests/ui/intro_window_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/ui/interval_label_test.cpp
  LIBS qf_ui qf_test_support
  RESOURCES ${QF_PROGRAM_RC}
  TIMEOUT 120)
