# The appliance's own process helpers and media metadata library, for a build without the
# stand-ins (KYTO_STANDINS=OFF). They take the stand-ins' target names, so clientadm links them
# unchanged; common/brix_process.h and common/corvi_metadata.h declare their C interface. Point
# KYTO_BRIX_LIBRARY and KYTO_CORVI_LIBRARY at the appliance's libkytobrix.so and libkytocorvi.so
# (any name, a versioned one too) or add their folder to CMAKE_PREFIX_PATH or
# CMAKE_LIBRARY_PATH. clientadm needs only the media library (it starts the agent itself);
# without it everything but clientadm is built.
find_library(KYTO_BRIX_LIBRARY NAMES kytobrix
             DOC "The appliance's process helper library (libkytobrix.so)")
find_library(KYTO_CORVI_LIBRARY NAMES kytocorvi
             DOC "The appliance's media metadata library (libkytocorvi.so)")

foreach(library brix corvi)
  string(TOUPPER ${library} upper)
  if(KYTO_${upper}_LIBRARY)
    add_library(kyto_${library} SHARED IMPORTED GLOBAL)
    set_target_properties(kyto_${library} PROPERTIES IMPORTED_LOCATION "${KYTO_${upper}_LIBRARY}")
  endif()
endforeach()

if(NOT TARGET kyto_corvi)
  message(STATUS "clientadm is not built: the appliance's media library was not found "
                 "(set KYTO_CORVI_LIBRARY)")
endif()
