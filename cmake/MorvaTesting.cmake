# One way to register a test program, native or cross-built.
#   morva_add_test(NAME <name> SOURCES <files...> [LIBS <targets...>])
# The program links GoogleTest with its main and is registered with ctest;
# under the cross build ctest runs it through Wine (CMAKE_CROSSCOMPILING_EMULATOR)
# and it validates its heaps after its last test.
function(morva_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} morva_test_support GTest::gtest_main)
  if(WIN32)
    target_sources(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests/win32/heap_check.cpp)
    target_link_options(${T_NAME} PRIVATE -mconsole)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 300)
endfunction()
