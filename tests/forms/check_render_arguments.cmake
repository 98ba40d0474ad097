# The form renderer takes only its output folder: an option is never taken for one, and a call
# without a folder fails without writing anything. Variables: RENDERER, WORK.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
foreach(arguments "--version" "--help" "")
    separate_arguments(argv UNIX_COMMAND "${arguments}")
    execute_process(COMMAND ${RENDERER} ${argv} WORKING_DIRECTORY ${WORK}
                    RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
    file(GLOB made ${WORK}/*)
    if(made)
        message(FATAL_ERROR "kova_render_forms ${arguments} made ${made}")
    endif()
    if(arguments STREQUAL "" AND result EQUAL 0)
        message(FATAL_ERROR "kova_render_forms without a folder succeeded")
    endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
