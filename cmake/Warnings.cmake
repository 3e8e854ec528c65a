# Warnings are errors everywhere in the project's own code.
add_library(wardenix_warnings INTERFACE)
target_compile_options(wardenix_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wconversion -Wsign-conversion
  -Wdouble-promotion -Wformat=2 -Werror)
