# Tests of the bulk-send panel.
skevo_add_test(NAME tst_sendlistmodel SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_sendlistmodel.cpp)
skevo_add_test(NAME tst_sendlistlogic SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_sendlistlogic.cpp)
skevo_add_test(NAME tst_messagetext SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_messagetext.cpp)
skevo_add_test(NAME tst_sendrun SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_sendrun.cpp)
skevo_add_test(NAME tst_lastnumbers SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_lastnumbers.cpp LIBS skevo_dbtargets)
skevo_add_test(NAME tst_skevoview SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_skevoview.cpp ${CMAKE_CURRENT_LIST_DIR}/PanelFakes.h LIBS skevo_gui)
skevo_add_test(NAME tst_trayicon SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_trayicon.cpp LIBS skevo_gui)
skevo_add_test(NAME tst_manualnumberdlg SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_manualnumberdlg.cpp LIBS skevo_gui)
