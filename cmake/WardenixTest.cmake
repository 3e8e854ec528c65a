# wardenix_test(NAME SOURCES... LIBS ... [LABELS ...] [PRIVATE_PROCESSES]):
# one GoogleTest executable per module.
# Natively every test case is its own CTest entry; in the cross build the whole
# executable is one entry that CTest runs through the emulator (Wine).
#   PRIVATE_PROCESSES  the program starts, finds or ends processes by name: on
#                      Linux its main runs it in a PID, mount and network
#                      namespace of its own (tests/trialserver/harness/
#                      private_processes.h), so it needs no lock against
#                      other tests.
function(wardenix_test name)
  cmake_parse_arguments(T "PRIVATE_PROCESSES" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_PRIVATE_PROCESSES)
    set(main wardenix_private_processes_main)
  else()
    set(main GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} wardenix_warnings GTest::gtest ${main})
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

