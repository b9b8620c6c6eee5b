# Synchronisation shown on the main window's taskbar button.
add_library(qf_taskbar STATIC
  taskbar_states.cpp taskbar_states.h
  sync_progress.cpp sync_progress.h)
target_link_libraries(qf_taskbar PUBLIC ole32 uuid)

qf_add_test(taskbar_states_test SOURCES ${CMAKE_SOURCE_DIR}/tests/ui/taskbar_states_test.cpp
  LIBS qf_taskbar LABELS pure)
