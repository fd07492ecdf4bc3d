# Installs the library into a fresh prefix, checks the installed files, then builds and runs a
# consumer through find_package and one through pkg-config.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DCONSUMER_DIR=... -DCXX=... -DCXX_FLAGS=... -P this
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(JOIN " " command ${ARGN})
    message(FATAL_ERROR "${command}\nfailed (${rc}):\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --component runtime --prefix ${prefix})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --component dev --prefix ${prefix})

include(GNUInstallDirs)
set(libdir ${prefix}/${CMAKE_INSTALL_LIBDIR})
foreach(expected
    ${libdir}/libkytoutil.so.1.0.0
    ${libdir}/libkytoutil.so.1
    ${libdir}/libkytoutil.so
    ${prefix}/include/kytoutil/kytoutil.h
    ${libdir}/pkgconfig/libkytoutil.pc
    ${libdir}/cmake/KytoUtil/KytoUtilConfig.cmake
    ${libdir}/cmake/KytoUtil/KytoUtilConfigVersion.cmake
    ${libdir}/cmake/KytoUtil/KytoUtilTargets.cmake)
  if(NOT EXISTS ${expected})
    message(FATAL_ERROR "not installed: ${expected}")
  endif()
endforeach()
file(READ_SYMLINK ${libdir}/libkytoutil.so link)
if(NOT link STREQUAL "libkytoutil.so.1")
  message(FATAL_ERROR "libkytoutil.so points to ${link}")
endif()

# find_package against the installed prefix only.
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer-build
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer-build)
run(${WORK_DIR}/consumer-build/consumer)
message(STATUS "find_package consumer: ${last_output}")

# pkg-config.
find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${libdir}/pkgconfig)
# Plain paths of the prefix installed into, with no detour through the pkg-config folder.
run(${PKG_CONFIG} --cflags libkytoutil)
string(STRIP "${last_output}" pc_cflags)
if(NOT pc_cflags STREQUAL "-I${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
  message(FATAL_ERROR "pkg-config --cflags libkytoutil printed: ${pc_cflags}")
endif()
run(${PKG_CONFIG} --cflags --libs libkytoutil)
string(STRIP "${last_output}" pc_flags)
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
separate_arguments(extra_flags UNIX_COMMAND "${CXX_FLAGS}")
run(${CXX} -std=c++20 ${extra_flags} ${CONSUMER_DIR}/main.cpp ${pc_flags}
  -o ${WORK_DIR}/pc-consumer)
set(ENV{LD_LIBRARY_PATH} ${libdir})
run(${WORK_DIR}/pc-consumer)
message(STATUS "pkg-config consumer: ${last_output}")
