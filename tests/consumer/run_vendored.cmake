# Builds and runs the consumer project with OrvCore's source tree built as part of it, as a host
# that vendors the library does: through FetchContent (SOURCE_DIR, offline) and through
# add_subdirectory, each configured from scratch. Such a host must get the library alone, with
# no tests, examples or GoogleTest, compiled without -Werror, and nothing in its cache that
# changes its own targets. Then OrvCore configured on its own, where all of that is the other way
# round.
#   ORV_SOURCE    OrvCore's source tree
#   SOURCE        the consumer project
#   WORK_DIR      scratch directory for the builds
#   JOBS          parallel build jobs (optional)
cmake_minimum_required(VERSION 3.19)  # string(JSON)

include(${CMAKE_CURRENT_LIST_DIR}/consumer_common.cmake)

# The targets a build defines, from the generated build system (CMake's own utility targets and
# the per-file object targets left out).
function(list_targets build out_var)
    run(${CMAKE_COMMAND} --build ${build} --target help)
    string(REGEX MATCHALL "\\.\\.\\. [^ \n]+" lines "${last_output}")
    set(targets "")
    foreach(line ${lines})
        string(SUBSTRING "${line}" 4 -1 name)
        if(NOT name MATCHES "\\.(o|i|s)$"
                AND NOT name MATCHES "^(all|clean|depend|edit_cache|rebuild_cache)$")
            list(APPEND targets ${name})
        endif()
    endforeach()
    list(SORT targets)
    set(${out_var} "${targets}" PARENT_SCOPE)
endfunction()

# The compile commands of OrvCore's library sources; there must be some.
function(library_commands build out_var)
    file(READ ${build}/compile_commands.json json)
    string(JSON count LENGTH "${json}")
    math(EXPR last "${count} - 1")
    set(commands "")
    foreach(i RANGE ${last})
        string(JSON file GET "${json}" ${i} file)
        string(FIND "${file}" "${ORV_SOURCE}/src/" at)
        if(at EQUAL 0)
            string(JSON command GET "${json}" ${i} command)
            list(APPEND commands "${command}")
        endif()
    endforeach()
    if(NOT commands)
        message(FATAL_ERROR "${build}: no compile command for ${ORV_SOURCE}/src")
    endif()
    set(${out_var} "${commands}" PARENT_SCOPE)
endfunction()

foreach(var ORV_SOURCE WORK_DIR SOURCE)
    get_filename_component(${var} ${${var}} ABSOLUTE)
endforeach()
if(NOT JOBS)
    set(JOBS 2)
endif()
file(REMOVE_RECURSE ${WORK_DIR})

foreach(from fetchcontent subdirectory)
    set(build ${WORK_DIR}/${from})
    run(${CMAKE_COMMAND} -S ${SOURCE} -B ${build} -DORV_FROM=${from} -DORV_SOURCE_DIR=${ORV_SOURCE}
        -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)

    list_targets(${build} targets)
    if(NOT targets STREQUAL "OrvCore;consumer")
        message(FATAL_ERROR "${from} host: targets are '${targets}', not the library and the host alone")
    endif()
    # Options a host never set must not reach its cache as entries that change its own build
    # (BUILD_SHARED_LIBS) or its dependencies (GoogleTest looked for).
    file(STRINGS ${build}/CMakeCache.txt leaked REGEX "^(BUILD_SHARED_LIBS|GTest_DIR|GTEST_[A-Z_]+):")
    if(leaked)
        message(FATAL_ERROR "${from} host: the cache holds ${leaked}")
    endif()
    library_commands(${build} commands)
    foreach(command ${commands})
        if(command MATCHES " -Werror( |$)" OR NOT command MATCHES " -Wall ")
            message(FATAL_ERROR "${from} host: the library is built with '${command}', not -Wall without -Werror")
        endif()
    endforeach()

    run(${CMAKE_COMMAND} --build ${build} -j ${JOBS})
    run(${build}/consumer)
    check_output("${from} host" 5)
    message(STATUS "consumer built OrvCore from source through ${from}, and ran")
endforeach()

# On its own (configured only): the tests and examples are there, and warnings are errors.
set(build ${WORK_DIR}/top-level)
run(${CMAKE_COMMAND} -S ${ORV_SOURCE} -B ${build} -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)
list_targets(${build} targets)
foreach(expected OrvCore orv-example graph_nodes_test)
    if(NOT expected IN_LIST targets)
        message(FATAL_ERROR "OrvCore on its own: no ${expected} target among '${targets}'")
    endif()
endforeach()
library_commands(${build} commands)
foreach(command ${commands})
    if(NOT command MATCHES " -Werror( |$)")
        message(FATAL_ERROR "OrvCore on its own builds the library with '${command}', without -Werror")
    endif()
endforeach()
message(STATUS "OrvCore on its own: tests, examples and -Werror")
