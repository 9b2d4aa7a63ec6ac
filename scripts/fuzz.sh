#!/usr/bin/env bash
# Runs every fuzz target for a given time and prints how many inputs each ran.
#   fuzz.sh BUILD_DIR SECONDS
# Each target starts from its seed corpus in fuzz/corpus/<name>/; what it
# finds on the way goes to a scratch corpus under BUILD_DIR, so the seeds in
# the repository stay as committed.  An input that breaks a target is kept
# as BUILD_DIR/fuzz-artifacts/<name>-crash-...; the script then fails.
set -uo pipefail

build=${1:?usage: fuzz.sh BUILD_DIR SECONDS}
seconds=${2:?usage: fuzz.sh BUILD_DIR SECONDS}
root=$(cd "$(dirname "$0")/.." && pwd)
targets=(password_request profile_port launch_command frame_reader)

artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
failed=()
report=()
for name in "${targets[@]}"; do
    exe="$build/fuzz/fuzz_$name"
    if [ ! -x "$exe" ]; then
        echo "fuzz.sh: $exe is missing; build the fuzz preset first" >&2
        exit 2
    fi
    scratch="$build/fuzz-corpus/$name"
    mkdir -p "$scratch"
    log="$artifacts/$name.log"
    echo "== fuzz_$name for ${seconds}s"
    "$exe" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
        -artifact_prefix="$artifacts/$name-" "$scratch" "$root/fuzz/corpus/$name" >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    report+=("$(printf '%-18s %12s executions in %ss' "$name" "${runs:-?}" "$seconds")")
    if [ $status -ne 0 ]; then
        failed+=("$name")
        echo "fuzz_$name failed (exit $status); its log: $log" >&2
        grep -E 'ERROR|property failed|SUMMARY|Test unit written' "$log" >&2
    fi
done

echo "== fuzz executions"
printf '%s\n' "${report[@]}"
if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz targets that failed: ${failed[*]}" >&2
    exit 1
fi
