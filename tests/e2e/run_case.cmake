# Runs one end-to-end case: a fresh working folder, the case's point file, the
# program with the case's answers on standard input; then compares standard
# output (run-time value masked), standard error and the exit status.
# -DUPDATE=ON rewrites the expected files instead of comparing.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
if(EXISTS ${CASE_DIR}/input.data)
    file(COPY ${CASE_DIR}/input.data DESTINATION ${WORK_DIR})
endif()
set(stdin_file ${CASE_DIR}/stdin.txt)
if(NOT EXISTS ${stdin_file})
    set(stdin_file /dev/null)
endif()

set(command ${PROGRAM})
if(WRAPPER)
    separate_arguments(wrapper_list UNIX_COMMAND "${WRAPPER}")
    set(command ${wrapper_list} ${PROGRAM})
endif()
execute_process(COMMAND ${command}
                WORKING_DIRECTORY ${WORK_DIR}
                INPUT_FILE ${stdin_file}
                OUTPUT_FILE ${WORK_DIR}/actual_stdout.txt
                ERROR_FILE ${WORK_DIR}/actual_stderr.txt
                RESULT_VARIABLE status)

file(READ ${WORK_DIR}/actual_stdout.txt actual_stdout)
file(READ ${WORK_DIR}/actual_stderr.txt actual_stderr)

# The program writes no files: only what this script put there may remain.
file(GLOB left_behind RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
list(REMOVE_ITEM left_behind input.data actual_stdout.txt actual_stderr.txt)
if(left_behind)
    message(FATAL_ERROR "the program left files behind: ${left_behind}")
endif()

if(UPDATE)
    file(WRITE ${CASE_DIR}/expected_stdout.txt "${actual_stdout}")
    file(WRITE ${CASE_DIR}/expected_status "${status}\n")
    if(actual_stderr STREQUAL "")
        file(REMOVE ${CASE_DIR}/expected_stderr.txt)
    else()
        file(WRITE ${CASE_DIR}/expected_stderr.txt "${actual_stderr}")
    endif()
    return()
endif()

set(run_time_pattern "Run time of execution: [0-9]+\\.[0-9][0-9] seconds\n")
set(run_time_mask "Run time of execution: #.## seconds\n")
file(READ ${CASE_DIR}/expected_stdout.txt expected_stdout)
string(REGEX REPLACE "${run_time_pattern}" "${run_time_mask}" expected_stdout "${expected_stdout}")
string(REGEX REPLACE "${run_time_pattern}" "${run_time_mask}" masked_stdout "${actual_stdout}")
set(expected_stderr "")
if(EXISTS ${CASE_DIR}/expected_stderr.txt)
    file(READ ${CASE_DIR}/expected_stderr.txt expected_stderr)
endif()
file(STRINGS ${CASE_DIR}/expected_status expected_status LIMIT_COUNT 1)

set(failures "")
if(NOT masked_stdout STREQUAL expected_stdout)
    file(WRITE ${WORK_DIR}/masked_expected_stdout.txt "${expected_stdout}")
    file(WRITE ${WORK_DIR}/masked_actual_stdout.txt "${masked_stdout}")
    execute_process(COMMAND diff -u ${WORK_DIR}/masked_expected_stdout.txt
                            ${WORK_DIR}/masked_actual_stdout.txt
                    OUTPUT_FILE ${WORK_DIR}/stdout.diff)
    file(READ ${WORK_DIR}/stdout.diff stdout_diff)
    string(APPEND failures "standard output differs:\n${stdout_diff}\n")
endif()
if(NOT actual_stderr STREQUAL expected_stderr)
    string(APPEND failures "standard error differs:\nexpected:\n${expected_stderr}\nactual:\n${actual_stderr}\n")
endif()
if(NOT status STREQUAL expected_status)
    string(APPEND failures "exit status ${status}, expected ${expected_status}\n")
endif()
if(failures)
    message(FATAL_ERROR "${CASE_DIR}:\n${failures}")
endif()
