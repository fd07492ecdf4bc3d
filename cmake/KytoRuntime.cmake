# The C++ runtime of what the project installs. libstdc++ and libgcc are linked into each program
# and shared library statically: loading and relocating libstdc++.so costs a short-lived program
# as much as all its own work (a small C++ program takes 1.9 times a bare C process to start with
# it, 1.2 times without). No C++ type crosses the library's C interface, so each copy is private.
# Sanitizer builds keep the shared runtime, which their own runtimes expect.
function(kyto_link_cxx_runtime_statically target)
  if(NOT KYTO_SANITIZE AND NOT KYTO_SANITIZE_THREAD)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()

# A shared library of ours links only when every symbol it uses is found. Clang leaves the
# sanitizer runtime out of shared libraries, so its hooks stay undefined there.
function(kyto_refuse_undefined_symbols target)
  if(NOT ((KYTO_SANITIZE OR KYTO_SANITIZE_THREAD) AND CMAKE_CXX_COMPILER_ID MATCHES "Clang"))
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()
endfunction()
