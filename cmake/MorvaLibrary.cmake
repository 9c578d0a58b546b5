# The layers of the tree: one library per folder, linked by what it uses.
#
# Sources name every header from the tree's root ("ripple/EffectEngine.h").
# The root itself is on no include path: each library's include folder holds
# one link, named after its own folder, to that folder, and a library sees
# the include folders of the libraries it links and nothing else. An include
# of a folder the library does not link, such as a header of show/ in
# ripple/, is not found and does not build.
#
#   morva_folder_library(<target> ...)   add_library(<target> ...) plus the
#                                        folder's include link
#   morva_upward_include(<target> <header> <why>)
#                                        lets <target> include one header of
#                                        a library above it, which it does not
#                                        link: a tie of the design, declared
#                                        where it is made, with its reason
#
# MORVA_ROOT is the tree's root (the fuzz project builds the same folders).

function(morva_folder_library target)
  add_library(${target} ${ARGN})
  file(RELATIVE_PATH folder ${MORVA_ROOT} ${CMAKE_CURRENT_SOURCE_DIR})
  set(includes ${CMAKE_BINARY_DIR}/include/${target})
  morva_include_link(${CMAKE_CURRENT_SOURCE_DIR} ${includes}/${folder})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${includes})
  else()
    target_include_directories(${target} PUBLIC ${includes})
  endif()
endfunction()

function(morva_upward_include target header why)
  if(NOT why)
    message(FATAL_ERROR "morva_upward_include(${target} ${header}): say why the tie is there")
  endif()
  set(includes ${CMAKE_BINARY_DIR}/include/${target}.ties)
  morva_include_link(${MORVA_ROOT}/${header} ${includes}/${header})
  target_include_directories(${target} PRIVATE ${includes})
endfunction()

function(morva_include_link original link)
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${original} ${link} SYMBOLIC RESULT failed)
  if(failed)
    message(FATAL_ERROR "cannot link ${link} to ${original}: ${failed}")
  endif()
endfunction()
