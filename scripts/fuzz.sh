#!/usr/bin/env bash
# Runs each fuzzer of a fuzz build for a bounded time, starting from its committed corpus.
# New inputs go to a scratch corpus in the build folder (kept between runs), so a plain run
# leaves the committed corpus as it was. With --merge (`make fuzz-long`), the inputs of the
# scratch corpus that reach coverage the committed corpus does not are then copied into it,
# to be committed.
# A crash, leak, sanitizer report or timeout fails the run and leaves the input in the build
# folder (crash-*, leak-*, timeout-*), to be turned into a regression input.
# Usage: scripts/fuzz.sh [--merge] [build-dir] [seconds-per-fuzzer] [fuzzer-name...]
set -euo pipefail
cd "$(dirname "$0")/.."
merge=0
if [ "${1:-}" = --merge ]; then
    merge=1
    shift
fi
build="${1:-build-fuzz}"
seconds="${2:-60}"
shift $(($# < 2 ? $# : 2))

shopt -s nullglob
fuzzers=()
if [ $# -eq 0 ]; then
    fuzzers=("$build"/fuzz/*_fuzzer)
else
    for name in "$@"; do fuzzers+=("$build/fuzz/${name}_fuzzer"); done
fi
if [ ${#fuzzers[@]} -eq 0 ]; then
    echo "error: no fuzzers in $build/fuzz" >&2
    exit 1
fi

# ASan's quarantine keeps freed memory poisoned until this much more has been freed. With the
# default 256 MB every input allocated on fresh pages, and 64 MB still handed back blocks long
# gone from the cache: a fifth of the renderer fuzzer's time. The renderer fuzzer's inputs free
# about 170 KB each, so 4 MB still holds the frees of the last twenty or so inputs.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:quarantine_size_mb=4"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$PWD/.ci/lsan.supp:print_suppressions=0"
# One worker on the 2 shared cores; rss and per-input limits catch runaway inputs.
limits=(-timeout=10 -rss_limit_mb=2048 -max_len=4096)

for f in "${fuzzers[@]}"; do
    name=$(basename "$f" _fuzzer)
    seeds="$PWD/fuzz/corpus/$name"
    scratch="corpus-$name"
    log="$name.log"
    if [ ! -x "$f" ]; then
        echo "error: no fuzzer $f" >&2
        exit 1
    fi
    mkdir -p "$build/fuzz/$scratch"
    echo "fuzz: $name for ${seconds}s"
    (cd "$build/fuzz" && "./$(basename "$f")" -max_total_time="$seconds" "${limits[@]}" \
        -print_final_stats=1 "$scratch" "$seeds") >"$build/fuzz/$log" 2>&1 || {
        tail -n 60 "$build/fuzz/$log" >&2
        echo "fuzz: $name failed; the input is in $build/fuzz" >&2
        exit 1
    }
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec)|DONE' "$build/fuzz/$log" || true
    [ $merge -eq 1 ] || continue

    before=$(ls "$seeds" | wc -l)
    (cd "$build/fuzz" && "./$(basename "$f")" -merge=1 "${limits[@]}" "$seeds" "$scratch") \
        >"$build/fuzz/$name.merge.log" 2>&1 || {
        tail -n 30 "$build/fuzz/$name.merge.log" >&2
        echo "fuzz: merging $name failed" >&2
        exit 1
    }
    echo "fuzz: $name corpus $before -> $(ls "$seeds" | wc -l) files, $(du -sk --apparent-size "$seeds" | cut -f1) KB"
done
