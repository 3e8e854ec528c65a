if(WARDENIX_SANITIZE)
  add_compile_options(-fsanitize=${WARDENIX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${WARDENIX_SANITIZE})
endif()
