#!/usr/bin/env bash
# Builds the fuzz harnesses with clang into build-fuzz/ at the repository root
# and runs each for a bounded time. Usage: tests/fuzz/run.sh [SECONDS_EACH]
# Exit status 0 when neither fuzzer found anything; reproducers go to
# build-fuzz/artifacts/<name>/.
set -euo pipefail

seconds="${1:-60}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build-fuzz"

CC=clang CXX=clang++ cmake -S "$here" -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)"

# Fixtures, when there are any, are good seeds: copied so that a run never
# writes into the source tree. The fuzzer's own finds go to corpus/<name>,
# kept between runs.
seed() {
    local name="$1" pattern="$2"
    local seeds="$build/seeds/$name"
    rm -rf "$seeds"
    mkdir -p "$seeds" "$build/corpus/$name" "$build/artifacts/$name"
    cp "$here/corpus-$name"/* "$seeds"/
    if [[ -d "$root/tests/data" ]]; then
        find "$root/tests/data" -type f -regextype posix-extended -iregex "$pattern" -size -512k \
            -exec cp --backup=numbered -t "$seeds" {} +
    fi
}
seed feed '.*\.(xml|rss|rdf|atom)'
seed opml '.*\.(opml|xml)'

failed=()
for name in feed opml; do
    echo "=== fuzz-$name for ${seconds}s"
    log="$build/fuzz-$name.log"
    status=0
    "$build/fuzz-$name" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -dict="$here/xml.dict" -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$name/" \
        "$build/corpus/$name" "$build/seeds/$name" >"$log" 2>&1 || status=$?
    grep -E '^(#[0-9]+ +DONE|Done [0-9]+ runs|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)' "$log" || true
    if ((status != 0)); then
        failed+=("$name")
        echo "fuzz-$name stopped with status $status; see $log"
        grep -E '^(==[0-9]+==ERROR|SUMMARY|broken promise|.*runtime error)' "$log" || true
        ls -1 "$build/artifacts/$name"
    fi
done

if ((${#failed[@]} > 0)); then
    echo "findings in: ${failed[*]}"
    exit 1
fi
echo "no findings"
