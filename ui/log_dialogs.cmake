# The message box, the text prompt and the log box.
add_library(qf_log_dialogs STATIC
  dialogs.cpp dialogs.h dialog_ids.h
  log_panel.cpp log_panel.h)
target_link_libraries(qf_log_dialogs PUBLIC qf_dpi qf_ui_thread comctl32)

# Resources in a static library never reach the program: whoever links qf_log_dialogs also
# compiles this script (the program's own script #includes it).
set(QF_DIALOGS_RC ${CMAKE_CURRENT_SOURCE_DIR}/dialogs.rc CACHE INTERNAL "")

if(QF_TESTS)
  qf_add_test(dialogs_test SOURCES ${CMAKE_SOURCE_DIR}/tests/ui/dialogs_test.cpp
    LIBS qf_log_dialogs qf_test_support RESOURCES ${QF_DIALOGS_RC} TIMEOUT 60)
  qf_add_test(log_panel_test SOURCES ${CMAKE_SOURCE_DIR}/tests/ui/log_panel_test.cpp
    LIBS qf_log_dialogs qf_test_support TIMEOUT 60)
endif()
