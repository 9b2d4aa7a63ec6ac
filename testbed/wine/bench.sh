#!/usr/bin/env bash
# Times the service under Wine with a reachable server: five start/stop
# cycles, from 'sc start' to RUNNING and from 'net stop' to STOPPED, and
# the peak working set of TavrinSvc.exe while it runs as a service, on the
# build lib.sh chooses (the first line says which, and why).
#
#   bench.sh <i686 build folder> <x86_64 build folder> <work folder>
set -euo pipefail
TAVRIN_WIN32_DIR=$(cd "$1" && pwd)
TAVRIN_WIN64_DIR=$(cd "$2" && pwd)
mkdir -p "$3"
TAVRIN_WINE_WORK=$(cd "$3" && pwd)
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
say_build

RUNS=5
now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

new_prefix bench
install_files tavrin/java
write_config "$(pick_port 35)"
printf '%s' bench-password >"$INSTALL/pw.fil"
start_session
install_service 'C:\tavrin' 'C:\tavrin\java' tavrin_server.exe -Xmx64m

: >"$LOG/start.ms"
: >"$LOG/stop.ms"
: >"$LOG/peak.kb"
for ((i = 1; i <= RUNS; i++)); do
    t0=$(now_ms)
    win sc start "$SERVICE" >/dev/null
    wait_state 4 10 >/dev/null || fail "run $i: the service did not reach RUNNING"
    echo $(($(now_ms) - t0)) >>"$LOG/start.ms"

    wait_for_server
    # The Wine process that hosts TavrinSvc.exe, as the kernel counts it:
    # its high-water mark of resident memory.
    pid=$(prefix_pids 'TavrinSvc\.exe' | head -1)
    [ -n "$pid" ] || fail "run $i: no TavrinSvc.exe process"
    sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status" >>"$LOG/peak.kb"

    t0=$(now_ms)
    net_stop "$LOG/stop.out" >/dev/null
    echo $(($(now_ms) - t0)) >>"$LOG/stop.ms"
    wait_until 10 test "$(server_count)" -eq 0 || fail "run $i: the server is still running"
done

say "sc start -> RUNNING:  median $(median <"$LOG/start.ms") ms of $RUNS (runs: $(paste -sd' ' "$LOG/start.ms") ms)"
say "net stop -> STOPPED:  median $(median <"$LOG/stop.ms") ms of $RUNS (runs: $(paste -sd' ' "$LOG/stop.ms") ms)"
say "peak working set of TavrinSvc.exe (VmHWM of its Wine process): max $(sort -n "$LOG/peak.kb" | tail -1) kB (runs: $(paste -sd' ' "$LOG/peak.kb") kB)"
