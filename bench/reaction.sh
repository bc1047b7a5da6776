#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Reaction: from the failure report that makes the restart rule hold to the
# device having the confirmation of the default script (its own record), and
# to "Reset OK" shown; against the simulator also to the connection accepted
# and the last answer received. Over the lab's LAN (port 23).
#   bench/reaction.sh [--device apsim|inetutils|busybox] [ROUNDS (default 20)]
set -euo pipefail
# shellcheck source=bench/lab_common.sh
source "$(dirname "$0")/lab_common.sh"

device=apsim
if [[ ${1:-} == --device ]]; then
    device=$2
    shift 2
fi
rounds=${1:-20}
bench_needs bench/reaction_bench
bench_work
bench_lab_up --device "$device"
if [[ $device == apsim ]]; then
    record=$LAB_STATE/apsim.record kind=apsim
else
    record=$LAB_STATE/console.record kind=console
fi

# The defaults, but the workers never ping: the benchmark reports the failures;
# and the guard off (HoldOff=0, MaxRounds=0), so that each round is acted on.
# Restarts 2 s apart: inetutils telnetd answers a connection that follows the
# previous session within a few hundred ms only after about 0.75 s.
write_ini "$work/site" Constants/PingInterval=86400000 Guard/HoldOff=0 Guard/MaxRounds=0
cd "$work/site"
echo "reaction over $rounds restarts, default script, $device on 192.168.168.1:23 (build: $BUILD)"
site "$BUILD/bench/reaction_bench" --record "$record" --device "$kind" --rounds "$rounds" --gap 2000
