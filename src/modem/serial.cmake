target_sources(skevo_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CSerialPort.h
  ${CMAKE_CURRENT_LIST_DIR}/CSerialPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialSpeed.h
  ${CMAKE_CURRENT_LIST_DIR}/SerialSpeed.cpp
)
