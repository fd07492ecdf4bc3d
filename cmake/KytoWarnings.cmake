# Warnings for every target of the project; -Werror in CI through KYTO_WERROR.
add_compile_options(-Wall -Wextra -Wpedantic)
# GCC 12 reports false -Wrestrict overlaps inside std::string concatenation in optimised builds
# (GCC bug 105329); the warning says nothing about our code there.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
endif()
if(KYTO_WERROR)
  add_compile_options(-Werror)
endif()

if(KYTO_SANITIZE)
  # Not the vptr check: the first check of each type reads memory through a pipe of the runtime's
  # own, and the suite runs the programs out of descriptors on purpose, where that pipe can't be
  # had and every polymorphic object would be reported as a broken one.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize=vptr -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KYTO_SANITIZE_THREAD)
  if(KYTO_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer does not go with AddressSanitizer: set one of the two")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(KYTO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KYTO_FUZZ needs clang (the fuzz preset selects it)")
  endif()
  if(NOT KYTO_SANITIZE)
    message(FATAL_ERROR "KYTO_FUZZ goes with KYTO_SANITIZE (the fuzz preset sets both)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
