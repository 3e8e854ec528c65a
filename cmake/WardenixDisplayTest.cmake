# wardenix_display_test(NAME SOURCES... LIBS ... [LABELS ...]): a test that
# needs an X display (the desktop front ends, the broadcast receiver on real
# windows). It runs through scripts/with-display.sh, which starts a virtual
# display (Xvfb) when there is none; in the cross build under it runs Wine.
include_guard(GLOBAL)
function(wardenix_display_test name)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${PROJECT_SOURCE_DIR}/scripts/with-display.sh ${CMAKE_CROSSCOMPILING_EMULATOR})
  wardenix_test(${name} ${ARGN})
endfunction()
