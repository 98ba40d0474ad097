# One CTest run of a fuzz target: every kept reproducer once, then a short campaign from the
# seeds in a scratch corpus, so that the source tree never receives generated inputs. The
# campaign's random seed is fixed: a run that passes here passes again on the same tree.
# Variables: FUZZER, SEEDS, REGRESSIONS, WORK, RUNS, SECONDS.

file(GLOB reproducers ${REGRESSIONS}/*)
if(reproducers)
    execute_process(COMMAND ${FUZZER} ${reproducers} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${FUZZER} fails on a kept reproducer in ${REGRESSIONS}")
    endif()
endif()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
execute_process(
    COMMAND ${FUZZER} -seed=1 -runs=${RUNS} -max_total_time=${SECONDS} -print_final_stats=1
            -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus ${SEEDS}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${FUZZER} found a fault; the input is in ${WORK}/artifacts")
endif()
