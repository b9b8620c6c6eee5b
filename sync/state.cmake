qf_add_test(sync_state_test SOURCES ${CMAKE_SOURCE_DIR}/tests/sync/sync_state_test.cpp LIBS qf_sync_state LABELS pure)
