#!/usr/bin/env bash
# Builds the fuzz harnesses with clang into build-fuzz/ at the repository
# root and runs each for a bounded time, as many at once as there are cores.
# Usage: tests/fuzz/run.sh [SECONDS_EACH] [HARNESS...]
#        tests/fuzz/run.sh --build-only (builds every harness, runs none)
# Exit status 0 when no harness found anything; a finding's reproducer goes
# to build-fuzz/artifacts/<name>/ and its report to build-fuzz/fuzz-<name>.log.
set -euo pipefail

build_only=false
if [[ "${1:-}" == --build-only ]]; then
    build_only=true
    shift
fi
seconds="${1:-60}"
shift || true
harnesses=("$@")
((${#harnesses[@]} > 0)) || harnesses=(feed merge repair opml html http)
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build-fuzz"

# A unity build with line tables only: the core is compiled once more here,
# and this keeps that to about a minute on two cores.
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=12 \
    -DCMAKE_CXX_FLAGS=-g1 >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${harnesses[@]/#/fuzz-}"
if $build_only; then
    exit 0
fi

# Seeds: the harness's own careless documents, plus the fixtures that fit.
# Copied, so that a run never writes into the source tree; the fuzzer's own
# finds go to corpus/<name>, kept between runs.
seed() {
    local name="$1" corpus="$2" pattern="$3"
    local seeds="$build/seeds/$name"
    rm -rf "$seeds"
    mkdir -p "$seeds" "$build/corpus/$name" "$build/artifacts/$name"
    cp "$here/corpus-$corpus"/* "$seeds"/
    if [[ -n "$pattern" && -d "$root/tests/data" ]]; then
        find "$root/tests/data" -type f -regextype posix-extended -iregex "$pattern" -size -512k \
            -exec cp --backup=numbered -t "$seeds" {} +
    fi
}
feeds='.*\.(xml|rss|rdf|atom)'
seed feed feed "$feeds"
seed merge feed "$feeds"
seed repair feed "$feeds"
seed opml opml '.*\.(opml|xml)'
seed html html ''
seed http http ''

# Scratch files and the private homes of the harnesses stay in the build.
export TMPDIR="$build/tmp"
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"

run_one() {
    local name="$1" dict=()
    [[ "$name" == html || "$name" == http ]] || dict=(-dict="$here/xml.dict")
    "$build/fuzz-$name" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "${dict[@]}" -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$name/" \
        "$build/corpus/$name" "$build/seeds/$name" >"$build/fuzz-$name.log" 2>&1
}

# Each harness runs in the background, at most one per core.
declare -A pids
for name in "${harnesses[@]}"; do
    while (($(jobs -rp | wc -l) >= $(nproc))); do
        wait -n || true
    done
    run_one "$name" &
    pids[$name]=$!
done

failed=()
for name in "${harnesses[@]}"; do
    status=0
    wait "${pids[$name]}" || status=$?
    log="$build/fuzz-$name.log"
    runs=$(grep -oP '^stat::number_of_executed_units:\s*\K[0-9]+' "$log" || echo "?")
    rate=$(grep -oP '^stat::average_exec_per_sec:\s*\K[0-9]+' "$log" || echo "?")
    cov=$(grep -oP '^#[0-9]+\s+DONE\s+cov: \K[0-9]+' "$log" || grep -oP 'cov: \K[0-9]+' "$log" | tail -n 1 || echo "?")
    echo "fuzz-$name: ${runs} runs (${rate}/s), coverage ${cov} edges, status $status"
    if ((status != 0)); then
        failed+=("$name")
        grep -E '^(==[0-9]+==ERROR|SUMMARY|broken promise|.*runtime error|ERROR: libFuzzer)' "$log" | head -n 20 || true
        tail -n 40 "$log"
        # CI keeps only what is printed: small reproducers go out as base64.
        for artifact in "$build/artifacts/$name"/*; do
            [[ -f "$artifact" ]] || continue
            echo "reproducer $artifact:"
            if (($(stat -c %s "$artifact") <= 8192)); then base64 -w 100 "$artifact"; fi
        done
    fi
done

if ((${#failed[@]} > 0)); then
    echo "findings in: ${failed[*]} (reproducers in build-fuzz/artifacts/)"
    exit 1
fi
echo "no findings"
