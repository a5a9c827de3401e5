# The help file, compiled from help/ into quillanterbrooke.chm beside PROGRAM (chmcmd, package fp-utils). Sets
# QB_HELP_FILE in the caller to the file's path, or to nothing where chmcmd is missing.
function(qb_add_help_file program)
    find_program(QB_CHMCMD chmcmd)
    if(NOT QB_CHMCMD)
        set(QB_HELP_FILE "" PARENT_SCOPE)
        return()
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/help/*)
    set(stage ${CMAKE_CURRENT_BINARY_DIR}/help-stage)
    set(chm ${CMAKE_CURRENT_BINARY_DIR}/quillanterbrooke.chm)
    add_custom_command(
        OUTPUT ${chm}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
        COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/help ${stage}
        COMMAND ${CMAKE_COMMAND} -E chdir ${stage} ${QB_CHMCMD} --no-html-scan quillanterbrooke.hhp
        COMMAND ${CMAKE_COMMAND} -E copy ${stage}/quillanterbrooke.chm ${chm}
        DEPENDS ${sources}
        COMMENT "Compiling the help file quillanterbrooke.chm"
        VERBATIM)
    add_custom_target(quillanterbrooke_help ALL DEPENDS ${chm})
    add_dependencies(${program} quillanterbrooke_help)
    set(QB_HELP_FILE ${chm} PARENT_SCOPE)
endfunction()
