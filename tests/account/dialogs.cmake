# The login and account dialogs, driven through their controls against a
# loopback server; message boxes and the clipboard go to recording stand-ins.
if(TARGET kestrel_account_dialogs)
  kestrel_add_test(test_account_dialogs
    SOURCES
      ${CMAKE_SOURCE_DIR}/tests/platform/GuiTestApp.cpp
      ${CMAKE_CURRENT_SOURCE_DIR}/CannedHttpServer.cpp
      ${CMAKE_CURRENT_SOURCE_DIR}/AccountChecksTest.cpp
      ${CMAKE_CURRENT_SOURCE_DIR}/AccountAddDlgTest.cpp
      ${CMAKE_CURRENT_SOURCE_DIR}/LoginDlgTest.cpp
    LIBS kestrel_account_dialogs Qt6::Network Qt6::Test)
endif()
