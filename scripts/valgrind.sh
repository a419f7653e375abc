#!/usr/bin/env bash
# Runs every test executable of a build under valgrind's memcheck, leaks included, and each
# fuzzer's replay over its committed corpus. Programs a test starts (the demo executable) are
# checked too; system tools they call (Graphviz) are not.
# One valgrind run per executable keeps the start-up cost low; cases named "*Heavy*" (the
# "heavy" CTest label) are skipped, as memcheck makes them take minutes.
# Usage: scripts/valgrind.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

shopt -s nullglob
tests=("$build"/tests/*_test "$build"/tests/*/*_test "$build"/tests/*_fuzzer_replay)
if [ ${#tests[@]} -eq 0 ]; then
    echo "error: no test executables in $build/tests" >&2
    exit 1
fi

# QRegularExpression's JIT-compiled matchers read a few bytes past the end of the subject, which
# memcheck reports from code it cannot name; the interpreter gives the same answers.
export QT_ENABLE_REGEXP_JIT=0

failed=()
for t in "${tests[@]}"; do
    name=$(basename "$t")
    log="$(dirname "$t")/$name.memcheck"
    rm -f "$log".*
    case "$name" in
        *_fuzzer_replay) args=("fuzz/corpus/${name%_fuzzer_replay}") ;;
        *) args=(--gtest_filter='-*Heavy*' --gtest_brief=1) ;;
    esac
    echo "memcheck: $name"
    if ! valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
            --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
            --track-origins=yes --num-callers=40 --suppressions=.ci/valgrind.supp --trace-children=yes --trace-children-skip='/usr/*,/bin/*' \
            --log-file="$log.%p.log" \
            "$t" "${args[@]}" >"$log.out" 2>&1; then
        failed+=("$name")
        cat "$log.out" "$log".*.log >&2
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "memcheck failed: ${failed[*]}" >&2
    exit 1
fi
echo "memcheck: ${#tests[@]} executables clean"
