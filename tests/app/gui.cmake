# Tests of the application shell: the main window, the start-up pieces, and the whole
# program from the login to a bulk send over the simulated modem.
skevo_add_test(NAME tst_mainframe
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainframe.cpp ${PROJECT_SOURCE_DIR}/tests/db/DbTargets.cpp ${PROJECT_SOURCE_DIR}/tests/db/DbTargets.h
  LIBS skevo_gui)
skevo_add_test(NAME tst_startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_startup.cpp LIBS skevo_gui)
skevo_add_test(NAME tst_endtoend SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_endtoend.cpp LIBS skevo_gui)
