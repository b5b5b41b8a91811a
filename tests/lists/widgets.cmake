kestrel_add_test(test_lists_widgets
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/VirtualListCtrlTest.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/LineColorListCtrlTest.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/ListDialogTest.cpp
          ${CMAKE_SOURCE_DIR}/tests/platform/GuiTestApp.cpp
  LIBS kestrel_lists_widgets Qt6::Test)
