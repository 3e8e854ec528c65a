# wardenix_test(NAME SOURCES... LIBS ...): one GoogleTest executable per module.
# Natively every test case is its own CTest entry; in the cross build the whole
# executable is one entry that CTest runs through the emulator (Wine).
function(wardenix_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} wardenix_warnings GTest::gtest GTest::gtest_main)
  set(props TIMEOUT 300)
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ${props})
  else()
    gtest_discover_tests(${name} PROPERTIES ${props} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
