# Run by cpack (CPACK_PROJECT_CONFIG_FILE): adds the package dependencies of the
# audio libraries that Vorelplay embeds and unpacks at start-up, found by
# dpkg-shlibdeps as for any installed library.
if(NOT CPACK_GENERATOR STREQUAL "DEB" OR NOT CPACK_VOREL_EMBEDDED_LIST)
  return()
endif()
include(${CPACK_VOREL_EMBEDDED_LIST})
find_program(_shlibdeps dpkg-shlibdeps REQUIRED)
# dpkg-shlibdeps wants a debian/control beside it.
set(_dir ${CPACK_TOPLEVEL_DIRECTORY}/embedded-shlibdeps)
file(MAKE_DIRECTORY ${_dir}/debian)
file(WRITE ${_dir}/debian/control "Source: vorel\n\nPackage: vorel\nArchitecture: any\n")
# The effects library needs the core by its soname; that one is ours, in no
# package, hence --ignore-missing-info.
execute_process(COMMAND ${_shlibdeps} -O --ignore-missing-info ${VOREL_EMBEDDED_LIBRARIES}
  WORKING_DIRECTORY ${_dir}
  OUTPUT_VARIABLE _out ERROR_VARIABLE _err RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "dpkg-shlibdeps on the embedded libraries failed: ${_err}")
endif()
string(REGEX MATCH "shlibs:Depends=([^\n]*)" _ "${_out}")
if(CMAKE_MATCH_1)
  if(CPACK_DEBIAN_PACKAGE_DEPENDS)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, ${CMAKE_MATCH_1}")
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
  endif()
endif()
