#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer and runs each for a fixed number of runs over a
# copy of its seed corpus, then replays the seeds. FUZZ_RUNS sets the runs (default 20000, for the
# charts 5000); FUZZ_SECONDS, if set, runs each for that long instead. Findings are written to
# build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
# Quiet when all goes well; what failed is shown when it does not.
quietly() {
    local log
    log=$(mktemp)
    "$@" >"$log" 2>&1 || { tail -n 40 "$log" >&2; rm -f "$log"; return 1; }
    rm -f "$log"
}
. scripts/packages.sh
install_packages fuzz
if [ ! -f build-fuzz/build.ninja ]; then
    CXX=clang++ quietly cmake -S fuzz -B build-fuzz -G Ninja
fi
quietly cmake --build build-fuzz
for target in decoder commlog_dump ini csv_import chart price_csv; do
    seeds=fuzz/corpus/${target%_dump}
    work=build-fuzz/corpus-$target
    rm -rf "$work" && mkdir -p "$work" && cp "$seeds"/* "$work"/
    runs=20000 bounds=()
    if [ "$target" = chart ]; then
        # A chart up to 10000 pixels square takes milliseconds here: fewer runs keep it to
        # seconds. Any records are drawn at once and small: an input that takes seconds or fills
        # the memory is a finding (a stuck axis once pushed ticks without end).
        runs=5000 bounds=(-timeout=10 -rss_limit_mb=1024)
    fi
    limit=(-runs="${FUZZ_RUNS:-$runs}")
    [ -n "${FUZZ_SECONDS:-}" ] && limit=(-max_total_time="$FUZZ_SECONDS")
    log=build-fuzz/fuzz_$target.log
    status=0
    build-fuzz/fuzz_$target "${limit[@]}" "${bounds[@]}" -max_len=4096 \
        -artifact_prefix=build-fuzz/ "$work" >"$log" 2>&1 || status=$?
    inputs=$(find "$work" -type f | wc -l)
    echo "fuzz_$target: $(grep -E '^Done [0-9]+ runs' "$log" || echo 'no summary'), corpus $inputs inputs"
    if [ "$status" -ne 0 ]; then
        grep -E 'ERROR|SUMMARY|Test unit written' "$log" >&2 || tail -n 20 "$log" >&2
        exit 1
    fi
    build-fuzz/fuzz_$target -runs=0 "$seeds" >"$log" 2>&1 || { tail -n 20 "$log" >&2; exit 1; }
    echo "fuzz_$target: seeds replayed: $(grep -E '^Done' "$log")"
done
