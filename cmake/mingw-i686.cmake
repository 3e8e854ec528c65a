# Cross build for 32-bit Windows with mingw-w64 (posix threads); tests run under Wine.
set(WARDENIX_MINGW_PROCESSOR i686)
set(WARDENIX_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
