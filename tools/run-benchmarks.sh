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
    "$b" | tee >(grep '^BENCH ' >>"$summary") || status=1
done
sleep 0.2
echo
echo "Summary:"
cat "$summary"
exit $status
