# The scheduler's view of the main window's controls.
add_library(qf_sync_host STATIC sync_host.cpp sync_host.h)
target_link_libraries(qf_sync_host PUBLIC qf_scheduler qf_dirlist qf_log_dialogs qf_ui_thread qf_taskbar)

if(QF_TESTS)
  qf_add_test(sync_host_test SOURCES ${CMAKE_SOURCE_DIR}/tests/ui/sync_host_test.cpp
    LIBS qf_sync_host qf_scheduler_testing TIMEOUT 60)
endif()
