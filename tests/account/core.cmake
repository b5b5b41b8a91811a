kestrel_add_test(test_account_core
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/TestApp.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/CannedHttpServer.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/WebTextTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/HttpGetTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/LoginTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/DomainServiceTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/FileStreamTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/ActivityLogTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/AccountStateTest.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/HostToolsTest.cpp
  LIBS kestrel_account_core Qt6::Network)
