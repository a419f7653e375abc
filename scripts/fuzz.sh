#!/usr/bin/env bash
# Runs each fuzzer of a fuzz build for a bounded time, starting from its committed seed corpus.
# New inputs go to a scratch corpus in the build folder, so the committed seeds stay small.
# A crash, leak, sanitizer report or timeout fails the run and leaves the input in the build
# folder (crash-*, leak-*, timeout-*), to be turned into a regression test.
# Usage: scripts/fuzz.sh [build-dir] [seconds-per-fuzzer]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-fuzz}"
seconds="${2:-60}"

shopt -s nullglob
fuzzers=("$build"/fuzz/*_fuzzer)
if [ ${#fuzzers[@]} -eq 0 ]; then
    echo "error: no fuzzers in $build/fuzz" >&2
    exit 1
fi

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$PWD/.ci/lsan.supp:print_suppressions=0"

for f in "${fuzzers[@]}"; do
    name=$(basename "$f" _fuzzer)
    seeds="fuzz/corpus/$name"
    scratch="$build/fuzz/corpus-$name"
    mkdir -p "$scratch"
    echo "fuzz: $name for ${seconds}s"
    # One worker on the 2 shared cores; rss and per-input limits catch runaway inputs.
    (cd "$build/fuzz" && "./$(basename "$f")" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 "corpus-$name" \
        "$OLDPWD/$seeds") >"$build/fuzz/$name.log" 2>&1 || {
        tail -n 60 "$build/fuzz/$name.log" >&2
        echo "fuzz: $name failed; the input is in $build/fuzz" >&2
        exit 1
    }
    grep -E '^stat::number_of_executed_units|^Done' "$build/fuzz/$name.log" || true
done
