# ORV_SANITIZE names the sanitizers every project target is built with, as -fsanitize takes
# them ("address,undefined", "thread"); empty builds without. Any report aborts the process, so
# a sanitizer finding fails the test that caused it.
set(ORV_SANITIZE "" CACHE STRING "Sanitizers for all project targets, e.g. address,undefined or thread")

if(ORV_SANITIZE)
    set(ORV_SANITIZE_FLAGS -fsanitize=${ORV_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${ORV_SANITIZE_FLAGS})
    add_link_options(${ORV_SANITIZE_FLAGS})

    # Runtime options for every test run through CTest. Qt and the C library are not
    # instrumented; the suppression files name only their known false positives.
    set(ORV_SANITIZER_ENV
        "ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
        "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1"
        "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/.ci/lsan.supp:print_suppressions=0"
        "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=${PROJECT_SOURCE_DIR}/.ci/tsan.supp")
endif()

# Fuzzers need clang's libFuzzer; the library is built with its coverage hooks so that the
# fuzzers are guided by the library's own branches. -O1, as AddressSanitizer's documentation
# advises for speed (the build type's assertions stay): unoptimised, every small Qt accessor is a
# call with coverage hooks and comparison traces of its own, and the fuzzers ran at half speed.
# At -O1 those accessors are still emitted out of line, so the ignore list can leave them without
# hooks (the comparison in QArrayData::data() behind every container access was the busiest hook
# of the renderer fuzzer); -O2 would inline them into the library's code, hooks and all.
if(ORV_BUILD_FUZZERS)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "ORV_BUILD_FUZZERS needs clang (configure with CXX=clang++)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link -O1
        -fsanitize-coverage-ignorelist=${PROJECT_SOURCE_DIR}/cmake/fuzz_coverage_ignore.txt)
endif()
