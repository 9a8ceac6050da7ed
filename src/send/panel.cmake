# The bulk-send panel: send list, send run (core) and the panel's windows (gui).
target_sources(skevo_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CRandGenerator.h ${CMAKE_CURRENT_LIST_DIR}/CRandGenerator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PanelMessage.h
  ${CMAKE_CURRENT_LIST_DIR}/MessageText.h ${CMAKE_CURRENT_LIST_DIR}/MessageText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SendListModel.h ${CMAKE_CURRENT_LIST_DIR}/SendListModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SendListLogic.h ${CMAKE_CURRENT_LIST_DIR}/SendListLogic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LastNumbers.h ${CMAKE_CURRENT_LIST_DIR}/LastNumbers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SendRun.h ${CMAKE_CURRENT_LIST_DIR}/SendRun.cpp
)
target_sources(skevo_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CSkevoView.h ${CMAKE_CURRENT_LIST_DIR}/CSkevoView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CMessageEdit.h ${CMAKE_CURRENT_LIST_DIR}/CMessageEdit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CManualNumberDlg.h ${CMAKE_CURRENT_LIST_DIR}/CManualNumberDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ISendPanelDialogs.h
  ${CMAKE_CURRENT_LIST_DIR}/CSendPanelDialogs.h ${CMAKE_CURRENT_LIST_DIR}/CSendPanelDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../app/CTrayIcon.h ${CMAKE_CURRENT_LIST_DIR}/../app/CTrayIcon.cpp
)
