# The directory list control, its editing operations and pop-up menus, and the shell bridges.
add_library(qf_dirlist STATIC
  list_rules.cpp list_rules.h
  directory_list.cpp directory_list.h
  directory_ops.cpp directory_menu.cpp directory_ops.h
  shell_folder.cpp shell_folder.h)
target_link_libraries(qf_dirlist PUBLIC qf_log_dialogs qf_sync_state qf_ui_thread qf_win
  comctl32 shell32 ole32 shlwapi)

qf_add_test(list_rules_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/dirset/list_rules_test.cpp
  LIBS qf_dirlist
  TIMEOUT 60)
