skevo_add_test(NAME tst_pducodec SOURCES tst_pducodec.cpp)
skevo_add_test(NAME tst_clipdu SOURCES tst_clipdu.cpp)
add_dependencies(tst_clipdu skevo-cli)
# Lets the test find the tool when it is run by hand, outside ctest.
target_compile_definitions(tst_clipdu PRIVATE SKEVO_CLI_BUILT="$<TARGET_FILE:skevo-cli>")

# libFuzzer target (clang only). The codec sources are compiled in directly so that the
# fuzzer's coverage instrumentation reaches them.
if(SKEVO_FUZZ)
  add_executable(fuzz_pdudecode
    fuzz_pdudecode.cpp
    ${PROJECT_SOURCE_DIR}/src/modem/PduCodec.cpp
    ${PROJECT_SOURCE_DIR}/src/modem/Gsm7Alphabet.cpp
  )
  target_include_directories(fuzz_pdudecode PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(fuzz_pdudecode PRIVATE skevo_options Qt6::Core)
  target_compile_options(fuzz_pdudecode PRIVATE -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
  target_link_options(fuzz_pdudecode PRIVATE -fsanitize=fuzzer,address,undefined)
endif()
