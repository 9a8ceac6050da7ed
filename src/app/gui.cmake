# The application shell: start-up pieces and the main window's logic (core), the windows
# (gui) and the skevo executable.
target_sources(skevo_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ModemLink.h ${CMAKE_CURRENT_LIST_DIR}/ModemLink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowPlacement.h ${CMAKE_CURRENT_LIST_DIR}/WindowPlacement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameSettings.h ${CMAKE_CURRENT_LIST_DIR}/FrameSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.h ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StartupOptions.h ${CMAKE_CURRENT_LIST_DIR}/StartupOptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/IRingPlayer.h
)
target_sources(skevo_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CMessageBox.h ${CMAKE_CURRENT_LIST_DIR}/CMessageBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CRingPlayer.h ${CMAKE_CURRENT_LIST_DIR}/CRingPlayer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CMainFrame.h ${CMAKE_CURRENT_LIST_DIR}/CMainFrame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SkevoStartup.h ${CMAKE_CURRENT_LIST_DIR}/SkevoStartup.cpp
)

add_executable(skevo ${CMAKE_CURRENT_LIST_DIR}/skevo_main.cpp)
target_link_libraries(skevo PRIVATE skevo_gui)
