# skevo-cli init-db / send / listen
target_sources(skevo-cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/CliModem.cpp)
