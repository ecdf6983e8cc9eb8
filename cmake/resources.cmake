include_guard(GLOBAL)

# vindrel_resources(out_var rc_file): compiles rc_file (relative to the calling folder)
# into an object to link, and sets out_var to it. windres goes twice: it upper-cases
# control class names, which are put back in their registered case between the steps.
function(vindrel_resources out_var rc_file)
  get_filename_component(rc ${rc_file} ABSOLUTE)
  get_filename_component(rc_dir ${rc} DIRECTORY)
  get_filename_component(name ${rc} NAME_WE)
  set(raw ${CMAKE_CURRENT_BINARY_DIR}/${name}_raw.res)
  set(fixed ${CMAKE_CURRENT_BINARY_DIR}/${name}.res)
  set(obj ${CMAKE_CURRENT_BINARY_DIR}/${name}_res.obj)
  set(fix ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/fix-class-case.py)
  add_custom_command(
    OUTPUT ${obj}
    COMMAND ${CMAKE_RC_COMPILER} -I${rc_dir} -O res -i ${rc} -o ${raw}
    COMMAND python3 ${fix} ${raw} ${fixed}
    COMMAND ${CMAKE_RC_COMPILER} -J res -O coff -i ${fixed} -o ${obj}
    DEPENDS ${rc} ${rc_dir}/resource.h ${fix}
    VERBATIM)
  set(${out_var} ${obj} PARENT_SCOPE)
endfunction()
