# Sanitizers apply to the whole build, so that every library and test agrees on the runtime.
if(SATLOG_SANITIZE)
  add_compile_options(-fsanitize=${SATLOG_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${SATLOG_SANITIZE})
endif()
