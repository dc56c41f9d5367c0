#!/usr/bin/env bash
# Our JPEG decoder against libjpeg-turbo with matched settings (accurate
# integer IDCT, replicated chroma), decoder only, in one process: the median
# CPU time of 5 runs each and the ratio ours / theirs, baseline and
# progressive (2048 x 2048, 4:2:0); and with smoothed chroma against
# libjpeg-turbo's default decode, which smooths too.
#
#   bench/jpeg_ratio.sh [bench_jpeg binary]   # default build-bench/bench/bench_jpeg
#
# Build the binary with -DRASTRA_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release.
set -euo pipefail
cd "$(dirname "$0")/.."
binary=${1:-build-bench/bench/bench_jpeg}
[ -x "$binary" ] || { echo "no benchmark at $binary" >&2; exit 2; }
"$binary" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_filter='Rastra|Matched|Default' 2>/dev/null |
  awk '
    # Lines such as "BM_Rastra_Baseline_median  9.19 ms  9.14 ms  5 ...": the CPU time.
    /_median / {
      name = $1; sub(/^BM_/, "", name); sub(/_median$/, "", name)
      cpu = $4; if ($5 == "us") cpu /= 1000
      time[name] = cpu
    }
    END {
      for (kind in time) if (kind ~ /^Rastra_/) {
        picture = substr(kind, 8)
        if (picture ~ /_Smooth$/) {
          theirs = time["Libjpeg_" substr(picture, 1, length(picture) - 7) "_Default"]
        } else {
          theirs = time["Libjpeg_" picture "_Matched"]
        }
        if (theirs > 0) printf "%-20s ours %7.2f ms  libjpeg-turbo %7.2f ms  ratio %.2f\n", picture, time[kind], theirs, time[kind] / theirs
      }
    }'
