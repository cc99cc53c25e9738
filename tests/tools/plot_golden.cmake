# Runs steiner_router on the shipped example with the answers "1\n1000\n\n\n",
# pipes its report to steiner_plot and compares the SVG byte for byte with
# GOLDEN, and DOC with GOLDEN. With -DUPDATE=ON it writes GOLDEN and DOC instead.
# Inputs: ROUTER, PLOT, INPUT (point file), GOLDEN, DOC, WORK (scratch folder).
foreach(var ROUTER PLOT INPUT GOLDEN DOC WORK)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "plot_golden.cmake: ${var} is not set")
    endif()
endforeach()

# A fresh folder each run, so that no earlier output can leak in.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(COPY_FILE "${INPUT}" "${WORK}/input.data")
file(WRITE "${WORK}/stdin.txt" "1\n1000\n\n\n")

execute_process(COMMAND "${ROUTER}"
                WORKING_DIRECTORY "${WORK}"
                INPUT_FILE "${WORK}/stdin.txt"
                OUTPUT_FILE "${WORK}/report.txt"
                RESULT_VARIABLE router_status)
if(NOT router_status EQUAL 0)
    message(FATAL_ERROR "steiner_router ended with status ${router_status}; report in ${WORK}/report.txt")
endif()
# The run-time line varies; steiner_plot ignores it. Pass the report as is, so
# that a plot that came to depend on it would fail here.
execute_process(COMMAND "${PLOT}"
                WORKING_DIRECTORY "${WORK}"
                INPUT_FILE "${WORK}/report.txt"
                OUTPUT_FILE "${WORK}/actual.svg"
                ERROR_VARIABLE plot_error
                RESULT_VARIABLE plot_status)
if(NOT plot_status EQUAL 0)
    message(FATAL_ERROR "steiner_plot ended with status ${plot_status}: ${plot_error}")
endif()

if(UPDATE)
    file(COPY_FILE "${WORK}/actual.svg" "${GOLDEN}")
    file(COPY_FILE "${WORK}/actual.svg" "${DOC}")
    message(STATUS "Wrote ${GOLDEN} and ${DOC}")
    return()
endif()

function(compare expected actual)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${expected}" "${actual}"
                    RESULT_VARIABLE differ)
    if(differ)
        find_program(DIFF diff)
        if(DIFF)
            execute_process(COMMAND "${DIFF}" -u "${expected}" "${actual}"
                            OUTPUT_FILE "${WORK}/actual.diff")
        endif()
        message(FATAL_ERROR "${actual} differs from ${expected} (diff in ${WORK}/actual.diff). "
                            "If the change is intended: cmake --build <build> --target update_plot_golden")
    endif()
endfunction()

compare("${GOLDEN}" "${WORK}/actual.svg")
compare("${GOLDEN}" "${DOC}")
