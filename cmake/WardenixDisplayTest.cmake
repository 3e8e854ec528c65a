# wardenix_display_test(NAME SOURCES... LIBS ... [LABELS ...]): a test that
# needs an X display (the desktop front ends, the broadcast receiver on real
# windows). It runs through scripts/with-display.sh, which starts a virtual
# display (Xvfb) when there is none; in the cross build scripts/wine-run.sh
# does so inside the program's own Wine prefix.
include_guard(GLOBAL)
function(wardenix_display_test name)
  if(CMAKE_CROSSCOMPILING)
    list(APPEND CMAKE_CROSSCOMPILING_EMULATOR --display)
  else()
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/with-display.sh)
  endif()
  wardenix_test(${name} ${ARGN})
endfunction()
