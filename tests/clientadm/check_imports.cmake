# Fails when a program takes from a shared library anything but that library's interface: the
# C++ runtime, for one, must come from the program's own copy, or it starts only beside a library
# that happens to export one.
#   cmake -DNM=<nm> -DPROGRAM=<file> -DINTERFACES=<file;...> -P check_imports.cmake
# Each interface file names symbols one a line, as a list of names or a linker version script
# does ("name" or "name;"). Versioned symbols (glibc's) and expat's XML_ functions count as
# interfaces too.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${NM} -D --undefined-only ${PROGRAM}
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${PROGRAM}")
endif()
set(allowed "")
foreach(file IN LISTS INTERFACES)
  file(STRINGS ${file} lines)
  foreach(line IN LISTS lines)
    if(line MATCHES "^ *([A-Za-z_][A-Za-z0-9_]*);?$")
      list(APPEND allowed "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endforeach()
string(REPLACE "\n" ";" lines "${listing}")
set(stray "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^ *U ([^@]+)$")
    continue()
  endif()
  set(name "${CMAKE_MATCH_1}")
  list(FIND allowed "${name}" found)
  if(found EQUAL -1 AND NOT name MATCHES "^XML_")
    list(APPEND stray "${name}")
  endif()
endforeach()
if(stray)
  message(FATAL_ERROR "${PROGRAM} imports what no interface offers: ${stray}")
endif()
