# The shell: start-up, the main and splash windows, the command protocol, the settings file.
file(GLOB shell_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
list(FILTER shell_sources EXCLUDE REGEX "/(uMisc|uServices)[^/]*$")
if(NOT shell_sources)
  return()
endif()
add_library(shell STATIC ${shell_sources})
target_include_directories(shell PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(shell PUBLIC misc flashhost media_content platform Qt6::Core Qt6::Widgets)

# The layers above misc are defined after this folder; link those that exist once every
# folder has been read.
function(vedalia_link_shell_layers)
  foreach(lib store viewers model3d dispatch)
    if(TARGET ${lib})
      target_link_libraries(shell PUBLIC ${lib})
    endif()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL vedalia_link_shell_layers)
