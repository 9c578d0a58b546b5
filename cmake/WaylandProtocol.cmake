# Code of a Wayland protocol, generated at build time by wayland-scanner from
# its XML description into the build tree:
#   morva_wayland_protocol(<target> <xml file>)
# compiles the marshalling code into <target> and puts <name>-client-protocol.h
# (<name>: the file's name without .xml) on its private include path.
# WAYLAND_SCANNER is the scanner program.

function(morva_wayland_protocol target xml)
  get_filename_component(name ${xml} NAME_WE)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/protocols)
  set(header ${dir}/${name}-client-protocol.h)
  set(code ${dir}/${name}-protocol.c)
  file(MAKE_DIRECTORY ${dir})
  add_custom_command(OUTPUT ${header}
    COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${header}
    DEPENDS ${xml}
    VERBATIM)
  add_custom_command(OUTPUT ${code}
    COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
    DEPENDS ${xml}
    VERBATIM)
  target_sources(${target} PRIVATE ${header} ${code})
  target_include_directories(${target} PRIVATE ${dir})
endfunction()
