# vento_add_module_test(NAME <test> SOURCES <files...> [MODULES <server targets...>] [LIBRARIES <libs...>])
#
# A GoogleTest program built on the module harness, run under CTest. The DLLs of the named module
# targets are copied beside the program (and again whenever they are rebuilt), where
# ModuleHarness(L"<target>.dll", ...) finds them; their generated <target>_idl.h headers are on the
# include path.
function(vento_add_module_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;MODULES;LIBRARIES" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE vento_harness GTest::gtest_main ${T_LIBRARIES})
  if(T_MODULES)
    set(dlls)
    foreach(module ${T_MODULES})
      list(APPEND dlls $<TARGET_FILE:${module}>)
      # The server's generated <name>_idl.h: its class and interface ids.
      target_include_directories(${T_NAME} PRIVATE $<TARGET_PROPERTY:${module},BINARY_DIR>/generated)
    endforeach()
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}.modules)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dlls} $<TARGET_FILE_DIR:${T_NAME}>
      COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
      DEPENDS ${T_MODULES}
      COMMENT "modules beside ${T_NAME}")
    add_custom_target(${T_NAME}_modules DEPENDS ${stamp})
    add_dependencies(${T_NAME} ${T_NAME}_modules)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
endfunction()
