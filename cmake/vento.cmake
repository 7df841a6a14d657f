# Tools for the Windows presets.
set(_wine_idl /usr/include/wine/wine/windows)
if(VENTO_MINGW_ARCH STREQUAL "i686")
  # Without wine32 there is no i386 Wine folder; its stdole2.tlb is the same as the 64-bit one.
  set(VENTO_WIDL_FLAGS --win32 -I${_wine_idl} -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
else()
  set(VENTO_WIDL_FLAGS --win64 -I${_wine_idl} -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
endif()

# The export file of an in-process server: the four entry points with ordinals 1 to 4.
function(vento_server_exports name def_file)
  # 32-bit stdcall symbols carry their argument size; the exports keep the plain names.
  if(VENTO_MINGW_ARCH STREQUAL "i686")
    set(stdcall_can_unload "=DllCanUnloadNow@0")
    set(stdcall_get_class "=DllGetClassObject@12")
    set(stdcall_register "=DllRegisterServer@0")
    set(stdcall_unregister "=DllUnregisterServer@0")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/templates/server.def.in ${def_file} @ONLY)
endfunction()

# One row of the identity table (servers.cmake): kept as global properties keyed by deliverable.
function(vento_server_identity name class typename clsid page_clsid libid iid)
  cmake_parse_arguments(R "LOCAL_ONLY;NO_PAGE_ANNOUNCE" "PANEL_DIALOG;PAGE_PROGID;PLAYS" "OPTIONAL_INPUTS" ${ARGN})
  set_property(GLOBAL PROPERTY VENTO_${name}_plays "${R_PLAYS}")
  set_property(GLOBAL PROPERTY VENTO_${name}_optional_inputs "${R_OPTIONAL_INPUTS}")
  set(local_only 0)
  set(announces_page 1)
  set(panel_dialog 201)
  set(page_progid ${name}.${class}PP)
  if(R_PAGE_PROGID)
    set(page_progid ${R_PAGE_PROGID})
  endif()
  if(R_LOCAL_ONLY)
    set(local_only 1)
  endif()
  if(R_NO_PAGE_ANNOUNCE)
    set(announces_page 0)
  endif()
  if(R_PANEL_DIALOG)
    set(panel_dialog ${R_PANEL_DIALOG})
  endif()
  foreach(field class typename clsid page_clsid libid iid local_only announces_page panel_dialog page_progid)
    set_property(GLOBAL PROPERTY VENTO_${name}_${field} "${${field}}")
  endforeach()
  set_property(GLOBAL APPEND PROPERTY VENTO_SERVERS ${name})
endfunction()
include(${CMAKE_CURRENT_LIST_DIR}/servers.cmake)

# Builds the in-process server of one deliverable from its identity row: the IDL with the module's
# dual interface and both coclasses (header and type library through widl), the class table, the
# registry scripts, the version resource, the exports and the common resources. The module folder
# adds only its own sources and resources: help.htm (help page) and picture.bmp (catalogue picture)
# are taken from it when present, and the empty panel template unless the module brings its own.
#   vento_module_server(fwdtransform HEADER fft_module.h SOURCES fft_module.cpp
#                       [PANEL <header> <class>] [RESOURCES own.rc] [OWN_DIALOG] [LIBRARIES ...])
function(vento_module_server name)
  cmake_parse_arguments(S "OWN_DIALOG" "HEADER" "SOURCES;RESOURCES;LIBRARIES;PANEL" ${ARGN})
  foreach(field class typename clsid page_clsid libid iid local_only announces_page panel_dialog page_progid)
    get_property(${field} GLOBAL PROPERTY VENTO_${name}_${field})
    if("${${field}}" STREQUAL "")
      message(FATAL_ERROR "${name} has no row in cmake/servers.cmake")
    endif()
  endforeach()
  string(TOUPPER ${name} name_upper)
  set(module_header ${S_HEADER})
  if(S_PANEL)
    list(GET S_PANEL 0 panel_header)
    list(GET S_PANEL 1 panel_class)
  else()
    set(panel_header panel/module_dialog.h)
    set(panel_class modkit::EmptyModuleDialog)
  endif()
  # ProgIDs: deliverable.Class, and ".1" for the versioned one.
  set(module_progid ${name}.${class})
  set(gen ${CMAKE_CURRENT_BINARY_DIR}/generated)
  set(templates ${PROJECT_SOURCE_DIR}/cmake/templates)
  configure_file(${templates}/server.idl.in ${gen}/${name}.idl @ONLY)
  configure_file(${templates}/identity.h.in ${gen}/identity.h @ONLY)
  configure_file(${templates}/server_table.cpp.in ${gen}/server_table.cpp @ONLY)
  vento_server_exports(${name} ${gen}/${name}.def)
  # Registry scripts: one layout for both classes.
  set(script_class ${class})
  set(script_progid ${module_progid})
  set(script_clsid ${clsid})
  configure_file(${templates}/class.rgs.in ${gen}/module.rgs @ONLY)
  set(script_class ${class}PP)
  set(script_progid ${page_progid})
  set(script_clsid ${page_clsid})
  configure_file(${templates}/class.rgs.in ${gen}/page.rgs @ONLY)
  # Resources the module folder may bring.
  set(module_resources "")
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/help.htm)
    string(APPEND module_resources "202 23 \"${CMAKE_CURRENT_SOURCE_DIR}/help.htm\"\n")
  endif()
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/picture.bmp)
    string(APPEND module_resources "4000 BITMAP \"${CMAKE_CURRENT_SOURCE_DIR}/picture.bmp\"\n")
  endif()
  if(NOT S_OWN_DIALOG)
    string(APPEND module_resources "#define VENTO_PANEL_DIALOG ${panel_dialog}\n#include \"panel/empty_panel.rc\"\n")
  endif()
  configure_file(${templates}/server.rc.in ${gen}/server.rc @ONLY)
  add_custom_command(
    OUTPUT ${gen}/${name}_idl.h ${gen}/${name}.tlb
    COMMAND ${VENTO_WIDL} ${VENTO_WIDL_FLAGS} -h -o ${gen}/${name}_idl.h ${gen}/${name}.idl
    COMMAND ${VENTO_WIDL} ${VENTO_WIDL_FLAGS} -t -o ${gen}/${name}.tlb ${gen}/${name}.idl
    DEPENDS ${gen}/${name}.idl
    WORKING_DIRECTORY ${gen}
    COMMENT "widl ${name}.idl")
  set(rc_depends ${gen}/${name}.tlb ${gen}/module.rgs ${gen}/page.rgs)
  foreach(f help.htm picture.bmp)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${f})
      list(APPEND rc_depends ${CMAKE_CURRENT_SOURCE_DIR}/${f})
    endif()
  endforeach()
  set_source_files_properties(${gen}/server.rc PROPERTIES OBJECT_DEPENDS "${rc_depends}")
  add_library(${name} SHARED ${S_SOURCES} ${S_RESOURCES}
    ${gen}/${name}_idl.h ${gen}/server_table.cpp ${gen}/server.rc ${gen}/${name}.def)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
  target_include_directories(${name} PRIVATE ${gen} ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE modkit ${S_LIBRARIES})
endfunction()

# Every test of the calling folder counts exit code 77 as skipped: scripts/wine-run and
# scripts/if-wine-runs give it, with the reason, where this build's programs cannot run. Called last
# in each folder that adds tests.
function(vento_tests_may_skip)
  get_property(tests DIRECTORY PROPERTY TESTS)
  if(tests)
    set_tests_properties(${tests} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endfunction()
