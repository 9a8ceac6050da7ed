# Tests of the modem engine: the pure pieces, then the engine over a pseudo-terminal
# against the simulated modem with real databases.
skevo_add_test(NAME tst_atresponseparser SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_atresponseparser.cpp)
skevo_add_test(NAME tst_concatassembler SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_concatassembler.cpp)
