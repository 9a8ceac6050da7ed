# The modem engine: AT dialogue, worker thread, journal and the kept outgoing queue.
target_sources(skevo_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AtResponseParser.h ${CMAKE_CURRENT_LIST_DIR}/AtResponseParser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AtChannel.h ${CMAKE_CURRENT_LIST_DIR}/AtChannel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ConcatAssembler.h ${CMAKE_CURRENT_LIST_DIR}/ConcatAssembler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CJournal.h ${CMAKE_CURRENT_LIST_DIR}/CJournal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OutgoingQueue.h ${CMAKE_CURRENT_LIST_DIR}/OutgoingQueue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ModemWorker.h ${CMAKE_CURRENT_LIST_DIR}/ModemWorker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CSmsModem.h ${CMAKE_CURRENT_LIST_DIR}/CSmsModem.cpp
)
