# Tests of the login.
skevo_add_test(NAME tst_loginlogic
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_loginlogic.cpp ${PROJECT_SOURCE_DIR}/tests/db/DbTargets.cpp ${PROJECT_SOURCE_DIR}/tests/db/DbTargets.h)
skevo_add_test(NAME tst_logindlg SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_logindlg.cpp LIBS skevo_gui)
