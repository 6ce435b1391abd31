# Movies written in Haxe (SWF target), compiled by the build.
#
# vedalia_add_haxe_movie(TARGET name OUTPUT file.swf MAIN Class CLASSPATH dir...
#                        [HEADER width:height:fps:RRGGBB] [SWF_VERSION n] [DEPENDS file...])
# Every .hx file below the class paths is a dependency, so editing a source rebuilds it.
find_program(HAXE_EXECUTABLE haxe REQUIRED)

function(vedalia_add_haxe_movie)
  cmake_parse_arguments(M "" "TARGET;OUTPUT;MAIN;HEADER;SWF_VERSION" "CLASSPATH;DEPENDS" ${ARGN})
  if(NOT M_SWF_VERSION)
    set(M_SWF_VERSION 10)
  endif()
  set(args -main ${M_MAIN} -swf ${M_OUTPUT} -swf-version ${M_SWF_VERSION})
  if(M_HEADER)
    list(APPEND args -swf-header ${M_HEADER})
  endif()
  set(sources)
  foreach(dir IN LISTS M_CLASSPATH)
    list(APPEND args -cp ${dir})
    file(GLOB_RECURSE hx CONFIGURE_DEPENDS ${dir}/*.hx)
    list(APPEND sources ${hx})
  endforeach()
  get_filename_component(out_dir ${M_OUTPUT} DIRECTORY)
  add_custom_command(
    OUTPUT ${M_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND ${HAXE_EXECUTABLE} ${args}
    DEPENDS ${sources} ${M_DEPENDS}
    COMMENT "Compiling the movie ${M_OUTPUT}"
    VERBATIM)
  add_custom_target(${M_TARGET} DEPENDS ${M_OUTPUT})
endfunction()
