# The directory list control, its editing operations and pop-up menus, and the shell bridges.
add_library(qf_dirlist STATIC
  list_rules.cpp list_rules.h
  directory_list.cpp directory_list.h
  directory_ops.cpp directory_ops.h
  directory_menu.cpp directory_menu.h
  shell_folder.cpp shell_folder.h)
target_link_libraries(qf_dirlist PUBLIC qf_log_dialogs qf_sync_state qf_ui_thread qf_win
  comctl32 gdi32 shell32 ole32 shlwapi)

qf_add_test(list_rules_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/dirset/list_rules_test.cpp
  LIBS qf_dirlist
  TIMEOUT 60
  LABELS pure)

if(QF_TESTS)
  # A stand-in for the main window and the helpers that answer its dialogs.
  add_library(qf_dirlist_test_window STATIC
    ${CMAKE_SOURCE_DIR}/tests/dirset/directory_test_window.cpp)
  target_link_libraries(qf_dirlist_test_window PUBLIC qf_dirlist qf_test_support)
endif()

qf_add_test(directory_ops_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/dirset/directory_ops_test.cpp
          ${CMAKE_SOURCE_DIR}/tests/dirset/directory_dialogs_test.cpp
          ${CMAKE_SOURCE_DIR}/tests/dirset/directory_list_test.cpp
  LIBS qf_dirlist_test_window
  RESOURCES ${QF_DIALOGS_RC}
  TIMEOUT 60)

qf_add_test(shell_folder_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/dirset/shell_folder_test.cpp
  LIBS qf_dirlist_test_window
  TIMEOUT 300)
