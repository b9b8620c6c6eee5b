# The synchronisation engine: the directory pass and the file digest.
add_library(qf_engine STATIC
  content_reader.cpp content_reader.h
  directory_listing.cpp directory_listing.h
  directory_pass.cpp directory_pass.h
  file_digest.cpp file_digest.h
  file_work.cpp file_work.h
  long_path.cpp long_path.h
  md5.cpp md5.h
  md5_hasher.cpp md5_hasher.h
  pass_decision.cpp pass_decision.h
  pass_report.cpp pass_report.h
  pump_messages.cpp pump_messages.h
  safe_copy.cpp safe_copy.h
  temporary_file.cpp temporary_file.h
  thread_mode.cpp thread_mode.h)
target_link_libraries(qf_engine PUBLIC qf_win bcrypt ntdll user32)

qf_add_test(engine_digest_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/sync/digest_test.cpp
  LIBS qf_engine qf_test_support TIMEOUT 300 LABELS engine)
qf_add_test(engine_rules_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/sync/pass_rules_test.cpp
  LIBS qf_engine LABELS pure)
qf_add_test(engine_pass_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/sync/directory_pass_test.cpp
  LIBS qf_engine qf_test_support TIMEOUT 300 LABELS engine)
qf_add_test(engine_differential_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/sync/differential_test.cpp
  LIBS qf_engine qf_test_support TIMEOUT 300 LABELS engine)
qf_add_test(engine_interrupted_copy_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/sync/interrupted_copy_test.cpp
  LIBS qf_engine qf_test_support TIMEOUT 300 LABELS engine)
if(TARGET engine_interrupted_copy_test)
  add_dependencies(engine_interrupted_copy_test quenfold-pass)
  target_compile_definitions(engine_interrupted_copy_test PRIVATE "QF_PASS_TOOL=\"$<TARGET_FILE:quenfold-pass>\"")
endif()
