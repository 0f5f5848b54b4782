#!/bin/sh
# Builds the benchmarks (the `bench` preset), runs them, and writes the results:
# bench/results/*.json (Google Benchmark's own), bench/results/table.md and the
# plot bench/results/count.png of ns per element against object size.
# usage: bench/run-benchmarks.sh [REPETITIONS]   (default 3; medians are reported)
set -eu
. "$(dirname -- "$0")/../scripts/common.sh"
ensure_packages $NATIVE_PACKAGES libbenchmark-dev gnuplot-nox python3
cd "$VELTRANE_ROOT"
build_preset bench >/dev/null
out=bench/results
mkdir -p "$out"
reps=${1:-3}
for b in count_bench update_bench; do
  echo "==> $b"
  "build/bench/bin/$b" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
    --benchmark_out="$out/$b.json" --benchmark_out_format=json
done
python3 bench/summarize.py "$out" > "$out/table.md"
gnuplot -e "data='$out/count.dat'; output='$out/count.png'" bench/count.gnuplot
echo "==> $out/table.md"
cat "$out/table.md"
