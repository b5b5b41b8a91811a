kestrel_add_test(test_lists_records
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/RecordsTest.cpp
  LIBS kestrel_lists_core)
