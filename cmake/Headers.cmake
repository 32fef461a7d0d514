# Which headers a target shows, so that the build refuses an include that runs the wrong way.
#
# Every include names its folder from the top of the tree ("records/record_layout.hpp"), but the
# top of the tree is never an include directory: each target gets include trees of its own in the
# build folder, made of symbolic links to the sources.
#
#   satlog_headers(<target> [PUBLIC <header>...] [EXCEPT <header>...] [FOLDERS <folder>...])
#
# The target's own sources see the whole of its folder (or, with FOLDERS, of those folders, given
# from the top of the tree); whoever links the target sees only the PUBLIC headers (paths relative
# to the calling folder; a pattern such as *.hpp takes every header it matches but those named after
# EXCEPT). An INTERFACE library has no sources of its own and only PUBLIC headers.
set(SATLOG_INCLUDE_TREES ${CMAKE_BINARY_DIR}/include)

# Links <root>/<relative> to <source>, making the folders on the way.
function(satlog_include_link root relative source)
  get_filename_component(parent ${root}/${relative} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${source} ${root}/${relative} SYMBOLIC)
endfunction()

function(satlog_headers target)
  cmake_parse_arguments(HEADERS "" "" "PUBLIC;EXCEPT;FOLDERS" ${ARGN})
  get_target_property(type ${target} TYPE)
  set(tree ${SATLOG_INCLUDE_TREES}/${target})
  file(REMOVE_RECURSE ${tree})

  set(headers)
  foreach(header ${HEADERS_PUBLIC})
    if(header MATCHES "\\*")
      file(GLOB matches CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${header})
      foreach(except ${HEADERS_EXCEPT})
        list(REMOVE_ITEM matches ${CMAKE_CURRENT_SOURCE_DIR}/${except})
      endforeach()
      list(APPEND headers ${matches})
    else()
      list(APPEND headers ${header})
    endif()
  endforeach()

  if(headers)
    foreach(header ${headers})
      get_filename_component(path ${header} ABSOLUTE)
      if(NOT EXISTS ${path})
        message(FATAL_ERROR "satlog_headers(${target}): no header ${path}")
      endif()
      file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${path})
      satlog_include_link(${tree}/public ${relative} ${path})
    endforeach()
    target_include_directories(${target} INTERFACE ${tree}/public)
  endif()

  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    if(HEADERS_FOLDERS)
      set(folders ${HEADERS_FOLDERS})
    else()
      file(RELATIVE_PATH folders ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    endif()
    foreach(folder ${folders})
      satlog_include_link(${tree}/private ${folder} ${PROJECT_SOURCE_DIR}/${folder})
    endforeach()
    target_include_directories(${target} PRIVATE ${tree}/private)
  endif()
endfunction()
