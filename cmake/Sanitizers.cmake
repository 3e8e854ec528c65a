if(WARDENIX_SANITIZE)
  # The vptr check needs the type information of every polymorphic object it
  # meets from instrumented code; the toolkit's own libraries are not, and it
  # then reports objects of our Qt classes as of no known type.
  add_compile_options(-fsanitize=${WARDENIX_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all -fno-sanitize=vptr)
  add_link_options(-fsanitize=${WARDENIX_SANITIZE})
endif()
if(WARDENIX_FUZZ)
  # Every library is instrumented for coverage; the fuzz targets add the
  # fuzzer's own main when they link.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
