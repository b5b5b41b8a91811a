# Records and row adapters of the lists: text only, no widgets.
add_library(kestrel_lists_core STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/AdRecords.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AdRecords.h
  ${CMAKE_CURRENT_SOURCE_DIR}/CtrlData.h
)
target_include_directories(kestrel_lists_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kestrel_lists_core PUBLIC Qt6::Core kestrel_net)
set_target_properties(kestrel_lists_core PROPERTIES AUTOMOC OFF)
