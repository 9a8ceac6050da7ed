# --- send list (bulk-send panel) ---
add_executable(bench_sendlist ${CMAKE_CURRENT_LIST_DIR}/bench_sendlist.cpp)
target_link_libraries(bench_sendlist PRIVATE skevo_options skevo_gui)
# --- end send list ---
# --- records list and main window ---
add_executable(bench_records ${CMAKE_CURRENT_LIST_DIR}/bench_records.cpp)
target_link_libraries(bench_records PRIVATE skevo_options skevo_gui Qt6::Test)
# --- end records list and main window ---
