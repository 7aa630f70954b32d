# Each layer of the source tree is a library whose public include root shows its own folder and
# nothing else, so that an #include against the direction ui -> commands -> compare -> wav names a
# header its target cannot see, and the build fails there.
function(vemilo_expose_folder target folder)
  set(root "${CMAKE_BINARY_DIR}/include-roots/${target}")
  get_filename_component(parent "${root}/${folder}" DIRECTORY)
  file(MAKE_DIRECTORY "${parent}")
  if(NOT EXISTS "${root}/${folder}")
    file(CREATE_LINK "${PROJECT_SOURCE_DIR}/src/${folder}" "${root}/${folder}" SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC "${root}")
endfunction()
