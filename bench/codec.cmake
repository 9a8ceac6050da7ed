add_executable(bench_pdu bench_pdu.cpp)
target_link_libraries(bench_pdu PRIVATE skevo_options skevo_core)
