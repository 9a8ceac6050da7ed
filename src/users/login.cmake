# The login: logic in the core, the window in the GUI library.
target_sources(skevo_core PRIVATE
  LoginLogic.h LoginLogic.cpp
)
target_sources(skevo_gui PRIVATE
  CLoginDlg.h CLoginDlg.cpp
)
