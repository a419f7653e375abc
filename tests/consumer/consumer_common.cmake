# What the consumer scripts share: running a command, and checking what the consumer printed.

# Runs a command and keeps its output in `last_output`; stops the script when it fails.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
    endif()
    set(last_output "${out}" PARENT_SCOPE)
endfunction()

# The consumer prints which library and Qt it runs with; both must be the expected ones.
function(check_output what qt_major)
    if(NOT last_output MATCHES "consumer: ok, OrvCore [0-9.]+ on Qt ${qt_major}\\.")
        message(FATAL_ERROR "${what} printed: ${last_output}")
    endif()
endfunction()
