# The libraries of the program and the one rule between them: each layer may use only the
# layers listed before it.
#
# A layer is made with vedalia_layer(), which names its files one by one (headers included)
# and its dependencies. It sees no source folder: its include path is a view, made at the end
# of the configuration by vedalia_check_layers(), that holds its own headers and those of the
# layers it links (directly or through them), each under its usual "folder/Name.h" path.
# A lower layer that names a higher one stops the configuration; a file that includes a
# header of a layer it does not link stops its compilation.
#
# Before including this file a project may set VEDALIA_LAYERS (lowest first),
# VEDALIA_SOURCE_ROOT (the folder the include paths start from) and VEDALIA_VIEW_ROOT.
if(NOT DEFINED VEDALIA_LAYERS)
  set(VEDALIA_LAYERS
      platform       # code page, logging, safe paths and file replacement
      swf            # native SWF reading, writing and the AVM1 rewriter
      flashhost      # the movie host control
      flashrenderer  # its renderer (Ruffle in Qt WebEngine)
      media_content  # the media catalogue and the content loader
      misc           # uMisc: roots, strings, personal folders, content copies, start-up probes
      store          # accounts and results
      desktop        # launchers, work area, media probe, message box, dialog and printer services
      viewers        # viewer windows
      model3d        # the 3D viewer
      dispatch       # the player set: opens course items in viewer windows
      shell)         # start-up, main and splash windows, the command protocol
endif()
if(NOT DEFINED VEDALIA_SOURCE_ROOT)
  set(VEDALIA_SOURCE_ROOT ${PROJECT_SOURCE_DIR}/src)
endif()
if(NOT DEFINED VEDALIA_VIEW_ROOT)
  set(VEDALIA_VIEW_ROOT ${PROJECT_BINARY_DIR}/layer-includes)
endif()

# vedalia_layer(<name> SOURCES <files...> [PUBLIC <libraries...>] [PRIVATE <libraries...>])
# Files are relative to the calling folder. PUBLIC is for what the layer's headers need.
function(vedalia_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  if(NOT name IN_LIST VEDALIA_LAYERS)
    message(FATAL_ERROR "${name} is no layer; the layers are: ${VEDALIA_LAYERS}")
  endif()
  add_library(${name} STATIC ${L_SOURCES})
  target_link_libraries(${name} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
  target_include_directories(${name} PRIVATE ${VEDALIA_VIEW_ROOT}/${name})
  set(headers)
  foreach(file IN LISTS L_SOURCES)
    if(file MATCHES "\\.h$")
      get_filename_component(file ${file} ABSOLUTE)
      list(APPEND headers ${file})
    endif()
  endforeach()
  set_property(TARGET ${name} PROPERTY VEDALIA_HEADERS ${headers})
  set_property(GLOBAL APPEND PROPERTY VEDALIA_LAYER_TARGETS ${name})
endfunction()

# The layers a target names, by its link lists (PRIVATE, PUBLIC and INTERFACE alike).
function(vedalia_named_layers target out)
  get_target_property(direct ${target} LINK_LIBRARIES)
  get_target_property(iface ${target} INTERFACE_LINK_LIBRARIES)
  set(named)
  foreach(lib IN LISTS direct iface)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" lib "${lib}")
    if(lib IN_LIST VEDALIA_LAYERS)
      list(APPEND named ${lib})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES named)
  set(${out} ${named} PARENT_SCOPE)
endfunction()

# Refuses any layer that names itself or a layer after it, then makes each layer's view.
function(vedalia_check_layers)
  get_property(targets GLOBAL PROPERTY VEDALIA_LAYER_TARGETS)
  set(faults)
  foreach(target IN LISTS targets)
    list(FIND VEDALIA_LAYERS ${target} own)
    vedalia_named_layers(${target} named)
    foreach(lib IN LISTS named)
      list(FIND VEDALIA_LAYERS ${lib} other)
      if(other GREATER_EQUAL own)
        string(APPEND faults "\n  ${target} links ${lib}, which is not below it")
      endif()
    endforeach()
    set(VEDALIA_NAMES_${target} ${named})
  endforeach()
  if(faults)
    message(FATAL_ERROR "Layer rule broken (each layer may use only those before it: "
                        "${VEDALIA_LAYERS}):${faults}")
  endif()

  foreach(target IN LISTS targets)
    # Everything the layer reaches through its links; the rule above makes this finite.
    set(seen ${target})
    set(queue ${VEDALIA_NAMES_${target}})
    while(queue)
      list(POP_FRONT queue lib)
      if(NOT lib IN_LIST seen AND TARGET ${lib})
        list(APPEND seen ${lib})
        list(APPEND queue ${VEDALIA_NAMES_${lib}})
      endif()
    endwhile()
    set(view ${VEDALIA_VIEW_ROOT}/${target})
    file(REMOVE_RECURSE ${view})
    foreach(lib IN LISTS seen)
      get_target_property(headers ${lib} VEDALIA_HEADERS)
      foreach(header IN LISTS headers)
        file(RELATIVE_PATH relative ${VEDALIA_SOURCE_ROOT} ${header})
        get_filename_component(folder ${view}/${relative} DIRECTORY)
        file(MAKE_DIRECTORY ${folder})
        file(CREATE_LINK ${header} ${view}/${relative} SYMBOLIC)
      endforeach()
    endforeach()
  endforeach()
endfunction()
