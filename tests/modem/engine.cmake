# Tests of the modem engine: the pure pieces, then the engine over a pseudo-terminal
# against the simulated modem with real databases.
skevo_add_test(NAME tst_atresponseparser SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_atresponseparser.cpp)
skevo_add_test(NAME tst_concatassembler SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_concatassembler.cpp)
skevo_add_test(NAME tst_smsmodem TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_smsmodem.cpp ${CMAKE_CURRENT_LIST_DIR}/EngineRig.h ${CMAKE_CURRENT_LIST_DIR}/EngineRig.cpp
  LIBS skevo_dbtargets)
target_include_directories(tst_smsmodem PRIVATE ${PROJECT_SOURCE_DIR}/tests/db)
skevo_add_test(NAME tst_smsmodem_cli TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_smsmodem_cli.cpp ${CMAKE_CURRENT_LIST_DIR}/EngineRig.h ${CMAKE_CURRENT_LIST_DIR}/EngineRig.cpp
  LIBS skevo_dbtargets)
target_include_directories(tst_smsmodem_cli PRIVATE ${PROJECT_SOURCE_DIR}/tests/db)
add_dependencies(tst_smsmodem_cli skevo-cli)
