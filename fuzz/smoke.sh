#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets and runs each one in turn over its committed seed
# corpus: a short smoke by default, the long run with a larger time.
#
#   fuzz/smoke.sh [seconds-per-target] [build-dir] [target...]   (target: telnet_parser, ...)
#
# Defaults: 20 s, build/fuzz, every target that was built. New inputs go to a
# scratch corpus (the committed seeds stay as they are); crashes are written to
# <build-dir>/fuzz/artifacts/. Prints one summary line per target and exits
# non-zero when any target found a crash, a leak or a timeout.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
seconds=${1:-20}
build=${2:-build/fuzz}
shift $(($# > 2 ? 2 : $#))

if [[ ! -f $build/build.ninja ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPINGVARD_FUZZ=ON -DPINGVARD_BUILD_UI=OFF -DBUILD_TESTING=OFF >/dev/null || exit 1
fi
cmake --build "$build" --target fuzz_all -j2 >/dev/null || {
    cmake --build "$build" --target fuzz_all -j2
    exit 1
}

targets=("$@")
if ((${#targets[@]} == 0)); then
    for exe in "$build"/fuzz/fuzz_*; do
        [[ -x $exe && -f $exe ]] && targets+=("$(basename "$exe")")
    done
fi
((${#targets[@]})) || { echo "smoke: no fuzz target has its code in this tree yet: nothing to run"; exit 0; }

artifacts=$build/fuzz/artifacts
mkdir -p "$artifacts"
status=0
for name in "${targets[@]}"; do
    short=${name#fuzz_}
    name=fuzz_$short
    seeds=fuzz/corpus/$short
    scratch=$build/fuzz/work/$short
    mkdir -p "$scratch" "$seeds"
    log=$build/fuzz/$short.log
    dict=()
    [[ -f fuzz/dict/$short.dict ]] && dict=(-dict="fuzz/dict/$short.dict")
    # -jobs=1 and one target at a time: the machine is shared.
    "$build/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$short-" "${dict[@]}" \
        "$scratch" "$seeds" >"$log" 2>&1
    rc=$?
    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | awk '{print $2}')
    last=$(grep -E '^#[0-9]+' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' <<<"$last" | awk '{print $2}')
    ft=$(grep -o 'ft: [0-9]*' <<<"$last" | awk '{print $2}')
    corpus=$(grep -o 'corp: [0-9]*/[0-9a-zA-Z]*' <<<"$last" | awk '{print $2}')
    verdict=ok
    if ((rc != 0)); then
        verdict="FAILED (exit $rc, see $log)"
        status=1
    fi
    printf '%-16s %4ss  execs %-10s cov %-6s ft %-6s corpus %-12s %s\n' "$short" "$seconds" \
        "${runs:-?}" "${cov:-?}" "${ft:-?}" "${corpus:-?}" "$verdict"
done
exit $status
