# Cross build for 64-bit Windows with mingw-w64 (posix threads): the stand-in
# that runs the Windows tests under 64-bit Wine on machines that run no
# 32-bit programs. The shipped target stays 32-bit (mingw-i686.cmake).
set(WARDENIX_MINGW_PROCESSOR x86_64)
set(WARDENIX_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
