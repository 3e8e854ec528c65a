if(WARDENIX_SANITIZE)
  add_compile_options(-fsanitize=${WARDENIX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${WARDENIX_SANITIZE})
endif()
if(WARDENIX_FUZZ)
  # Every library is instrumented for coverage; the fuzz targets add the
  # fuzzer's own main when they link.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
