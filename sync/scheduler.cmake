# Switching synchronisation on and off, the waiting worker and its passes.
add_library(qf_scheduler STATIC
  interval.cpp interval.h
  message_wait.cpp message_wait.h
  scheduler.cpp scheduler.h
  start_thread.cpp start_thread.h
  sync_worker.cpp sync_worker.h)
target_link_libraries(qf_scheduler PUBLIC qf_sync_state qf_engine qf_win)

qf_add_test(interval_test SOURCES ${CMAKE_SOURCE_DIR}/tests/sync/interval_test.cpp LIBS qf_scheduler LABELS pure)
if(QF_TESTS)
  # A recording stand-in for the main window, shared with the host's test.
  add_library(qf_scheduler_testing STATIC
    ${CMAKE_SOURCE_DIR}/tests/sync/fake_sync_host.cpp ${CMAKE_SOURCE_DIR}/tests/sync/fake_sync_host.h)
  target_link_libraries(qf_scheduler_testing PUBLIC qf_scheduler qf_test_support)
  qf_add_test(scheduler_test SOURCES ${CMAKE_SOURCE_DIR}/tests/sync/scheduler_test.cpp
    LIBS qf_scheduler_testing TIMEOUT 90 LABELS engine)
  qf_add_test(message_wait_test SOURCES ${CMAKE_SOURCE_DIR}/tests/sync/message_wait_test.cpp
    LIBS qf_scheduler qf_test_support TIMEOUT 60 LABELS engine)
endif()
