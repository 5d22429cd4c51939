# orvella_resources(target script.rc): compiles a resource script with orvella-rc and builds the
# resulting resource table into the target, where FindResourceW and LoadStringW find it. The script
# stays the one source for the Windows build, where rc.exe reads it unchanged.
function(orvella_resources target script)
  get_filename_component(script_path ${script} ABSOLUTE)
  get_filename_component(script_name ${script} NAME_WE)
  set(table ${CMAKE_CURRENT_BINARY_DIR}/${target}_${script_name}_rc.cpp)
  add_custom_command(
    OUTPUT ${table}
    COMMAND $<TARGET_FILE:orvella-rc> -I ${PROJECT_SOURCE_DIR}/platform/include -d ${table}.d -o ${table} ${script_path}
    DEPENDS orvella-rc ${script_path}
    DEPFILE ${table}.d
    COMMENT "Compiling resources ${script_name}.rc"
    VERBATIM)
  target_sources(${target} PRIVATE ${table})
  # A program's table must be visible to the lookup of its own resources (a NULL module handle).
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_link_options(${target} PRIVATE "LINKER:--export-dynamic-symbol=OrvellaResourceTable")
  endif()
endfunction()
