# The login and account dialogs.
add_library(kestrel_account_dialogs STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/AccountChecks.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/LoginDlg.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AccountAddDlg.cpp
)
target_link_libraries(kestrel_account_dialogs PUBLIC kestrel_account_core kestrel_platform kestrel_res Qt6::Widgets)
