# List controls: the virtual result list and the list with coloured rows.
add_library(kestrel_lists_widgets STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/LineColorListCtrl.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/LineColorListCtrl.h
  ${CMAKE_CURRENT_SOURCE_DIR}/VirtualListCtrl.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/VirtualListCtrl.h
  ${CMAKE_CURRENT_SOURCE_DIR}/VirtualListModel.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/VirtualListModel.h
  ${CMAKE_CURRENT_SOURCE_DIR}/CtrlData.h)
target_link_libraries(kestrel_lists_widgets PUBLIC kestrel_platform kestrel_res Qt6::Widgets)
