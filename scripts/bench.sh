#!/usr/bin/env bash
# The performance figures, each under the command that measures it.
#   bench.sh <host build dir> [<i686 build dir> <x86_64 build dir> <Wine work dir>]
# (a) the stop exchange against a loopback responder beside the bare
#     loopback exchange, and their ratio; with the Windows builds also
# (b) the size and import list of TavrinSvc.exe as shipped (i686), and
# (c, d) under Wine, the start and stop times of the service and the peak
#     working set of TavrinSvc.exe, on the build the Wine harness chooses.
set -euo pipefail

build=${1:?usage: bench.sh <host build dir> [<i686 build dir> <x86_64 build dir> <Wine work dir>]}
win32=${2:-}
win64=${3:-}
work=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
program="$build/bench/stop_bench"
[ -x "$program" ] || { echo "bench.sh: $program not built (configure with -DTAVRIN_BENCH=ON)" >&2; exit 1; }

csv=$(mktemp)
trap 'rm -f "$csv"' EXIT

echo "== (a) stop exchange: $program --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true"
# Repetitions interleaved at random, so that a burst of load on the machine
# weighs on both measurements alike; the medians are compared.
"$program" --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$csv" --benchmark_out_format=csv >/dev/null

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

[ -n "$win32" ] || exit 0
exe="$win32/TavrinSvc.exe"
[ -f "$exe" ] || { echo "bench.sh: $exe not built" >&2; exit 1; }

echo
echo "== (b) size and imports: stat -c %s $exe; i686-w64-mingw32-objdump -p $exe"
size=$(stat -c %s "$exe")
echo "size:            $size bytes ($(((size + 1023) / 1024)) KB; goal <= 64 KB)"
imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "imports:         $(echo "$imports" | wc -l) libraries: $(echo "$imports" | paste -sd' ')"

echo
echo "== (c, d) under Wine: testbed/wine/bench.sh $win32 $win64 $work"
bash "$here/../testbed/wine/bench.sh" "$win32" "$win64" "$work" | grep -E '^(build under test|sc start|net stop|peak)'
