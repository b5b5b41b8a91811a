# Account state, web-service client, monitored addresses, activity log, text
# files and host utilities: Qt Core and Network only, no widgets.
add_library(kestrel_account_core STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/AccountState.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ActivityLog.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/DomainService.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/FileStream.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/HostTools.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ServiceBase.cpp
)
target_include_directories(kestrel_account_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kestrel_account_core
  PUBLIC kestrel_webtext kestrel_lists_core kestrel_net Qt6::Core Qt6::Network)
target_compile_definitions(kestrel_account_core PRIVATE KESTREL_SERVICE_HOST="${KESTREL_SERVICE_HOST}")
set_target_properties(kestrel_account_core PROPERTIES AUTOMOC OFF)
