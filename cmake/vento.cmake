# Tools for the Windows presets.
set(_wine_idl /usr/include/wine/wine/windows)
if(VENTO_MINGW_ARCH STREQUAL "i686")
  # Without wine32 there is no i386 Wine folder; its stdole2.tlb is the same as the 64-bit one.
  set(VENTO_WIDL_FLAGS --win32 -I${_wine_idl} -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
else()
  set(VENTO_WIDL_FLAGS --win64 -I${_wine_idl} -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
endif()

# One row of the identity table (servers.cmake): kept as global properties keyed by deliverable.
function(vento_server_identity name class typename clsid page_clsid libid iid)
  foreach(field class typename clsid page_clsid libid iid)
    set_property(GLOBAL PROPERTY VENTO_${name}_${field} "${${field}}")
  endforeach()
endfunction()
include(${CMAKE_CURRENT_LIST_DIR}/servers.cmake)

# Builds the in-process server of one deliverable from its identity row: the IDL with the module's
# dual interface and both coclasses (header and type library through widl), the class table, the
# exports and the common resources. The module folder adds only its own sources and resources.
#   vento_module_server(fwdtransform HEADER fft_module.h SOURCES fft_module.cpp [RESOURCES x.rc])
function(vento_module_server name)
  cmake_parse_arguments(S "" "HEADER" "SOURCES;RESOURCES;LIBRARIES" ${ARGN})
  foreach(field class typename clsid page_clsid libid iid)
    get_property(${field} GLOBAL PROPERTY VENTO_${name}_${field})
    if(NOT ${field})
      message(FATAL_ERROR "${name} has no row in cmake/servers.cmake")
    endif()
  endforeach()
  string(TOUPPER ${name} name_upper)
  set(module_header ${S_HEADER})
  # 32-bit stdcall symbols carry their argument size; the exports keep the plain names.
  if(VENTO_MINGW_ARCH STREQUAL "i686")
    set(stdcall_0 "=DllCanUnloadNow@0")
    set(stdcall_12 "=DllGetClassObject@12")
  endif()
  set(gen ${CMAKE_CURRENT_BINARY_DIR}/generated)
  set(templates ${PROJECT_SOURCE_DIR}/cmake/templates)
  configure_file(${templates}/server.idl.in ${gen}/${name}.idl @ONLY)
  configure_file(${templates}/identity.h.in ${gen}/identity.h @ONLY)
  configure_file(${templates}/server_table.cpp.in ${gen}/server_table.cpp @ONLY)
  configure_file(${templates}/server.rc.in ${gen}/server.rc @ONLY)
  configure_file(${templates}/server.def.in ${gen}/${name}.def @ONLY)
  add_custom_command(
    OUTPUT ${gen}/${name}_idl.h ${gen}/${name}.tlb
    COMMAND ${VENTO_WIDL} ${VENTO_WIDL_FLAGS} -h -o ${gen}/${name}_idl.h ${gen}/${name}.idl
    COMMAND ${VENTO_WIDL} ${VENTO_WIDL_FLAGS} -t -o ${gen}/${name}.tlb ${gen}/${name}.idl
    DEPENDS ${gen}/${name}.idl
    WORKING_DIRECTORY ${gen}
    COMMENT "widl ${name}.idl")
  set_source_files_properties(${gen}/server.rc PROPERTIES OBJECT_DEPENDS ${gen}/${name}.tlb)
  add_library(${name} SHARED ${S_SOURCES} ${S_RESOURCES}
    ${gen}/${name}_idl.h ${gen}/server_table.cpp ${gen}/server.rc ${gen}/${name}.def)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
  target_include_directories(${name} PRIVATE ${gen} ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE modkit ${S_LIBRARIES})
endfunction()
