#!/usr/bin/env bash
# Runs every benchmark of a Release build, then repeats their summary lines
# together at the end so that runs can be compared.
set -uo pipefail
dir=${1:-build/release}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
status=0
shopt -s nullglob
benches=("$dir"/bench/quillpad_bench_*)
if [ ${#benches[@]} -eq 0 ]; then
    echo "No benchmarks were built in $dir/bench." >&2
    exit 1
fi
for b in "${benches[@]}"; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    out=$(mktemp)
    "$b" --benchmark_color=false >"$out" 2>&1 || status=1
    cat "$out"
    grep '^BENCH ' "$out" >>"$summary"
    rm -f "$out"
done
echo
echo "Summary:"
cat "$summary"
exit $status
