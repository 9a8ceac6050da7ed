# One options target carries the language level, warnings and Qt defines for every Skevo target.
add_library(skevo_options INTERFACE)
target_compile_features(skevo_options INTERFACE cxx_std_20)
target_compile_options(skevo_options INTERFACE -Wall -Wextra -Wno-missing-field-initializers)
target_compile_definitions(skevo_options INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
# Hardened as Debian builds its packages: checked buffer functions where the optimiser can
# see the sizes, and relocations made read-only at start.
if(NOT SKEVO_ASAN AND NOT SKEVO_FUZZ)
  target_compile_definitions(skevo_options INTERFACE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  target_link_options(skevo_options INTERFACE LINKER:-z,relro LINKER:-z,now)
endif()
if(SKEVO_ASAN)
  target_compile_options(skevo_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(skevo_options INTERFACE -fsanitize=address,undefined)
endif()

# skevo_add_test(NAME tst_x SOURCES a.cpp ... [LIBS ...] [LABELS ...])
# Adds one QtTest executable, run offscreen so window tests need no display.
function(skevo_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE skevo_options skevo_testsupport Qt6::Test ${T_LIBS})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SKEVO_MODEMSIM=$<TARGET_FILE:skevo-modemsim>;SKEVO_CLI=$<TARGET_FILE:skevo-cli>"
    TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
