#!/usr/bin/env bash
# Reaction: from the failure report that makes the restart rule hold to the
# simulator accepting the telnet connection, and to the simulator receiving
# the last answer of the default script, over the lab's LAN (port 23).
#   bench/reaction.sh [ROUNDS (default 20)]
set -euo pipefail
source "$(dirname "$0")/lab_common.sh"

rounds=${1:-20}
[[ -x $BUILD/bench/reaction_bench ]] || { echo "bench: no $BUILD/bench/reaction_bench" >&2 && exit 1; }
work=$(mktemp -d)
trap 'lab down >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
lab down >/dev/null 2>&1 || true
lab up --bin "$BUILD" --no-pingvard >/dev/null

# The defaults, but the workers never ping: the benchmark reports the failures.
write_ini "$work/site" Constants/PingInterval=86400000
cd "$work/site"
echo "reaction over $rounds restarts, default script, simulator on 192.168.168.1:23 (build: $BUILD)"
site "$BUILD/bench/reaction_bench" --record "$LAB_STATE/apsim.record" --rounds "$rounds" --gap 300
