skevo_add_test(NAME tst_serialport SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_serialport.cpp)
skevo_add_test(NAME tst_deliverbuilder SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_deliverbuilder.cpp)
skevo_add_test(NAME tst_modemsim SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_modemsim.cpp)
