# vorel_public_headers(<target>): the target's own headers, and only those, for
# the target and whoever links it, as "name.h" and as "<folder>/name.h". The
# source root is never an include directory, so an include against the layer
# directions does not compile (tests/layers proves it for each direction).
function(vorel_public_headers target)
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(root ${PROJECT_BINARY_DIR}/public/${target})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${root})
endfunction()
