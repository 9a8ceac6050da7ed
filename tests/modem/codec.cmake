skevo_add_test(NAME tst_pducodec SOURCES tst_pducodec.cpp)
