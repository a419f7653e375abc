# Builds and runs the consumer project against installed OrvCore packages, as a host would:
# through the CMake package and through pkg-config.
#   PREFIX        where the packages are (or are installed to)
#   INSTALL_FROM  build trees installed into PREFIX first, all into the same prefix (optional;
#                 without it PREFIX is used as it is, e.g. /usr with the Debian packages)
#   PACKAGES      list of <CMake package>:<Qt major>, e.g. "OrvCore:5;OrvCore6:6"
#   VERSION       the version these sources are at (optional): the consumer asks for it, and an
#                 older minor version must be refused
#   WORK_DIR      scratch directory for the consumer builds
#   SOURCE        the consumer project
#   SANITIZE      the library's sanitizers, which a host must link too (optional)
include(${CMAKE_CURRENT_LIST_DIR}/consumer_common.cmake)

# Relative paths are taken from the current directory, once, as the builds below run elsewhere.
foreach(var PREFIX WORK_DIR SOURCE)
    get_filename_component(${var} ${${var}} ABSOLUTE)
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
if(INSTALL_FROM)
    file(REMOVE_RECURSE ${PREFIX})
    foreach(build ${INSTALL_FROM})
        run(${CMAKE_COMMAND} --install ${build} --prefix ${PREFIX})
    endforeach()
endif()
set(flags "")
if(SANITIZE)
    set(flags "-fsanitize=${SANITIZE}")
endif()
find_program(PKG_CONFIG pkg-config REQUIRED)
# The pkg-config build runs with GCC and, where it is installed, clang: both at -O2 with warnings
# as errors, as hosts build.
find_program(GXX NAMES g++ c++ REQUIRED)
find_program(CLANGXX NAMES clang++)
set(compilers ${GXX})
# A sanitized library needs the runtime of the compiler that built it.
if(CLANGXX AND NOT SANITIZE)
    list(APPEND compilers ${CLANGXX})
endif()

foreach(entry ${PACKAGES})
    string(REPLACE ":" ";" entry ${entry})
    list(GET entry 0 package)
    list(GET entry 1 qt_major)
    set(build ${WORK_DIR}/${package})

    # CMake: find_package (with the version these sources are at), the imported target.
    if(VERSION MATCHES "^([0-9]+)\\.([0-9]+)" AND NOT CMAKE_MATCH_2 EQUAL 0)
        math(EXPR older_minor "${CMAKE_MATCH_2} - 1")
        execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${build}-older -DORV_PACKAGE=${package}
            -DORV_VERSION_WANTED=${CMAKE_MATCH_1}.${older_minor} -DCMAKE_PREFIX_PATH=${PREFIX}
            RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
        if(rc EQUAL 0)
            message(FATAL_ERROR "${package} ${VERSION} accepted a request for ${CMAKE_MATCH_1}.${older_minor}")
        endif()
    endif()
    run(${CMAKE_COMMAND} -S ${SOURCE} -B ${build} -DORV_PACKAGE=${package} -DORV_VERSION_WANTED=${VERSION}
        -DCMAKE_PREFIX_PATH=${PREFIX} "-DCMAKE_CXX_FLAGS=${flags}" "-DCMAKE_EXE_LINKER_FLAGS=${flags}")
    run(${CMAKE_COMMAND} --build ${build})
    run(${build}/consumer)
    check_output("${package} through CMake" ${qt_major})

    # pkg-config: compile and link the same source with nothing but what it prints.
    string(TOLOWER ${package} pc_name)
    file(GLOB pc_files ${PREFIX}/lib/pkgconfig/${pc_name}.pc ${PREFIX}/lib/*/pkgconfig/${pc_name}.pc
        ${PREFIX}/lib64/pkgconfig/${pc_name}.pc)
    if(NOT pc_files)
        message(FATAL_ERROR "no ${pc_name}.pc under ${PREFIX}/lib")
    endif()
    list(GET pc_files 0 pc_file)
    get_filename_component(pc_dir ${pc_file} DIRECTORY)
    get_filename_component(lib_dir ${pc_dir} DIRECTORY)
    set(ENV{PKG_CONFIG_PATH} ${pc_dir})
    run(${PKG_CONFIG} --cflags ${pc_name})
    separate_arguments(cflags UNIX_COMMAND "${last_output}")
    run(${PKG_CONFIG} --libs ${pc_name})
    separate_arguments(libs UNIX_COMMAND "${last_output}")
    separate_arguments(sanitize_flags UNIX_COMMAND "${flags}")
    foreach(compiler ${compilers})
        get_filename_component(compiler_name ${compiler} NAME)
        run(${compiler} -std=c++17 -fPIC -O2 -Wall -Wextra -Werror ${sanitize_flags} ${cflags}
            ${SOURCE}/main.cpp ${SOURCE}/idioms.cpp -o ${build}/consumer-pkg-config-${compiler_name}
            ${libs} -Wl,-rpath,${lib_dir})
        run(${build}/consumer-pkg-config-${compiler_name})
        check_output("${package} through pkg-config and ${compiler_name}" ${qt_major})
    endforeach()
    message(STATUS "consumer built and ran against ${package} (Qt ${qt_major}) in ${PREFIX}")
endforeach()
