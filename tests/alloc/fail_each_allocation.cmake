# Runs one end-to-end case again and again, failing allocation 1, 2, 3, ...
# of the program's own code, until a run needs no more than were failed. Each
# failed run must end with the allocation message and status 255, or the tree
# package's message on standard error and status 1; the first run that fails
# nothing must print the case's expected output.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
file(COPY ${CASE_DIR}/input.data DESTINATION ${WORK_DIR})
file(READ ${CASE_DIR}/expected_stdout.txt expected_stdout)
set(run_time_pattern "Run time of execution: [0-9]+\\.[0-9][0-9] seconds\n")
string(REGEX REPLACE "${run_time_pattern}" "" expected_stdout "${expected_stdout}")
set(allocation_message
    "Could not allocate memory for point array or parent array... Exitting program.\n")

separate_arguments(wrapper UNIX_COMMAND "${WRAPPER}")
set(failed_cleanly 0)
set(failed_fatally 0)
foreach(k RANGE 1 500)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env STEINER_FAIL_ALLOCATION=${k} ${wrapper} ${PROGRAM}
                    WORKING_DIRECTORY ${WORK_DIR}
                    INPUT_FILE ${CASE_DIR}/stdin.txt
                    OUTPUT_VARIABLE out
                    ERROR_VARIABLE err
                    RESULT_VARIABLE status
                    TIMEOUT 30)
    string(REGEX REPLACE "${run_time_pattern}" "" out "${out}")
    if(status STREQUAL "0" AND out STREQUAL expected_stdout AND err STREQUAL "")
        math(EXPR made "${k} - 1")
        message(STATUS "the run makes ${made} allocations: ${failed_cleanly} failures ended "
                       "with the allocation message, ${failed_fatally} with the tree package's")
        return()
    endif()
    string(LENGTH "${allocation_message}" message_length)
    string(LENGTH "${out}" out_length)
    set(tail "")
    if(out_length GREATER_EQUAL message_length)
        math(EXPR tail_start "${out_length} - ${message_length}")
        string(SUBSTRING "${out}" ${tail_start} -1 tail)
    endif()
    if(status STREQUAL "255" AND tail STREQUAL allocation_message AND err STREQUAL "")
        math(EXPR failed_cleanly "${failed_cleanly} + 1")
        continue()
    endif()
    if(status STREQUAL "1" AND err STREQUAL "Cannot allocate memory in mst1_package_init!\n")
        math(EXPR failed_fatally "${failed_fatally} + 1")
        continue()
    endif()
    message(FATAL_ERROR "failing allocation ${k}: status ${status}\nstdout:\n${out}\nstderr:\n${err}")
endforeach()
message(FATAL_ERROR "the run still allocates after 500 allocations")
