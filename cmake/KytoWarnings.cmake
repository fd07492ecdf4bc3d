# Warnings for every target of the project; -Werror in CI through KYTO_WERROR.
add_compile_options(-Wall -Wextra -Wpedantic)
if(KYTO_WERROR)
  add_compile_options(-Werror)
endif()

if(KYTO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
