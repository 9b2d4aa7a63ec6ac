#!/usr/bin/env bash
# Runs the stop benchmark of a build folder and prints the time of one full
# StopServer run, that of the bare loopback exchange, and their ratio.
#   bench.sh <build dir>
set -euo pipefail

build=${1:?usage: bench.sh <build dir>}
program="$build/bench/stop_bench"
[ -x "$program" ] || { echo "bench.sh: $program not built (configure with -DTAVRIN_BENCH=ON)" >&2; exit 1; }

csv=$(mktemp)
trap 'rm -f "$csv"' EXIT
# Repetitions interleaved at random, so that a burst of load on the machine
# weighs on both measurements alike; the medians are compared.
"$program" --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$csv" --benchmark_out_format=csv

# Medians of the wall-clock times, in the unit the benchmark reports.
awk -F, '
    /^"BM_StopServer\/real_time_median"/   { stop = $3; unit = $5 }
    /^"BM_BareExchange\/real_time_median"/ { bare = $3 }
    END {
        if (stop == "" || bare == "") { print "bench.sh: results missing" > "/dev/stderr"; exit 1 }
        printf "StopServer run:  %.1f %s\n", stop, unit
        printf "bare exchange:   %.1f %s\n", bare, unit
        printf "ratio:           %.2f (goal <= 1.5)\n", stop / bare
    }' "$csv"
