#!/usr/bin/env bash
# Runs the Windows build under Wine over and over on a machine kept busy, and counts the
# processes that did not end: each test program ROUNDS times, then the batch mode BATCHES times
# on the demo folder (a conversion posted again each time).
#   windows-soak.sh [ROUNDS [BATCHES]]        (after scripts/windows.sh; defaults 20 and 50)
# PROGRAMS, a regular expression, picks the test programs by path (default: all of them).
# Two busy loops keep both cores at work throughout. A test stuck at exit fails in wine-run.sh
# with its threads' stacks; anything still running after LIMIT seconds counts as not ended.
set -uo pipefail
source "$(dirname "$0")/common.sh"
rounds=${1:-20} batches=${2:-50} limit=${LIMIT:-300}
build=$WINDOWS_BUILD_DIR
run=("$ROOT/scripts/wine-run.sh" "$build/kit" "$build/wine")
export QT_QPA_PLATFORM=offscreen LANG=pt_BR.UTF-8 LC_ALL=C.UTF-8 TZ=America/Sao_Paulo

busy=()
for _ in 1 2; do
    (while :; do :; done) &
    busy+=($!)
done
trap 'kill "${busy[@]}" 2>/dev/null' EXIT

mapfile -t programs < <(find "$build/tests" -name 'test_*.exe' | grep -E "${PROGRAMS:-.}" | sort)
log=$(mktemp -d)
ended=0 stuck=0 failed=0
count() { # status name
    case $1 in
    0) ended=$((ended + 1)) ;;
    124 | 137) stuck=$((stuck + 1)) && echo "did not end: $2" ;;
    *) ended=$((ended + 1)) failed=$((failed + 1)) && echo "failed ($1): $2, see $log" ;;
    esac
}
for round in $(seq "$rounds"); do
    for program in "${programs[@]}"; do
        name=$(basename "$program" .exe)
        # Widget tests want Wine's own display, as under ctest.
        xvfb-run -a -s '-screen 0 1280x1024x24' timeout -k 5 "$limit" "${run[@]}" "$program" \
            >"$log/$name.$round" 2>&1
        status=$?
        [ "$status" -ne 0 ] || rm -f "$log/$name.$round"
        count "$status" "$name round $round"
    done
    echo "round $round: $ended ended, $stuck did not end, $failed failed"
done

demo=$log/demo
"${run[@]}" "$build/app/conversor-coletor.exe" --demo "Z:$demo" >/dev/null 2>&1
batch_ended=0 batch_stuck=0
for n in $(seq "$batches"); do
    (cd "$demo" && timeout -k 5 60 "${run[@]}" "$build/app/conversor-coletor.com" \
        --inventario coletor.txt --empresa 01 --causa 001 --de-novo >"$log/batch.$n" 2>&1)
    status=$?
    # 0 and 1 (some readings refused) are a conversion's own endings.
    case $status in
    0 | 1) batch_ended=$((batch_ended + 1)) && rm -f "$log/batch.$n" ;;
    124 | 137) batch_stuck=$((batch_stuck + 1)) && echo "batch $n did not end" ;;
    *) batch_ended=$((batch_ended + 1)) && echo "batch $n ended with status $status" ;;
    esac
done
echo "test programs: $ended of $((rounds * ${#programs[@]})) ended ($failed failed), $stuck did not end"
echo "batch conversions: $batch_ended of $batches ended, $batch_stuck did not end"
[ "$stuck" -eq 0 ] && [ "$batch_stuck" -eq 0 ] && [ "$failed" -eq 0 ]
