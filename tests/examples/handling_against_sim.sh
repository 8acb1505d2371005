#!/usr/bin/env bash
# Runs the handling example against brimlink-sim's handling station in a
# settings folder of its own that searches only the simulator's COM number:
#   handling_against_sim.sh BRIMLINK-SIM HANDLING [REGISTRY.INI]
# REGISTRY.INI (the machine's class registry) is copied in for an example that
# finds the control only through the registry. Passes when the example ends
# well, the part is on the plate, and no output word moved the gripper
# horizontally while the end switch "up" was off.
set -euo pipefail
sim=$1
example=$2
registry=${3:-}
com=231

work=$(mktemp -d)
sim_pid=
cleanup() {
  [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "handling_against_sim: $*" >&2
  for f in example.out example.err sim.out; do
    [[ -f $work/$f ]] && { echo "--- $f" >&2; cat "$work/$f" >&2; }
  done
  exit 1
}

mkdir -p "$work/xdg/Brimlink" "$work/home"
printf '[PortSettings]\nUseUSB=N\nUseSerial=Y\nSearchCOM=%s\nExcludeCOM=\n[Debug]\nShowAtStartup=N\n' "$com" \
  >"$work/xdg/Brimlink/Brimlink.ini"
[[ -z $registry ]] || cp "$registry" "$work/xdg/Brimlink/Registry.ini"
export XDG_CONFIG_DIRS=$work/xdg XDG_CONFIG_HOME=$work/home

mkfifo "$work/sim.in"
"$sim" --com "$com" --station handling --speed 5 <"$work/sim.in" >"$work/sim.out" 2>&1 &
sim_pid=$!
exec 7>"$work/sim.in"
for _ in $(seq 100); do
  grep -q "^COM$com -> " "$work/sim.out" && break
  sleep 0.1
done
grep -q "^COM$com -> " "$work/sim.out" || fail "brimlink-sim did not start"

status=0
timeout 60 "$example" >"$work/example.out" 2>"$work/example.err" || status=$?
echo station >&7
echo quit >&7
exec 7>&-
wait "$sim_pid" || fail "brimlink-sim ended with an error"
sim_pid=

((status == 0)) || fail "the example ended with $status"
[[ $(tail -n 1 "$work/example.out") == "the part is on the plate" ]] || fail "the example did not finish its cycle"
grep -q "part #1 (metal): on the plate" "$work/sim.out" || fail "the part is not on the plate"

# The module's log in order: input reports and the output words it received.
# The station starts at rest, back and up (a module reports only changes).
inputs=5
outputs=0
moves=0
while read -r kind value; do
  if [[ $kind == input ]]; then
    inputs=$((value))
  else
    value=$((value))
    if (((value & 3) != (outputs & 3))); then
      ((inputs & 4)) || fail "output word $value moved horizontally while the gripper was not up"
      moves=$((moves + 1))
    fi
    outputs=$value
  fi
done < <(sed -n "s/^COM$com module 1: \(input\|output\) word 0 = \(0x[0-9A-F]*\).*/\1 \2/p" "$work/sim.out")
((moves >= 3)) || fail "only $moves horizontal moves in the module's log"
echo "handling example: $(wc -l <"$work/example.out") steps, $moves horizontal moves, all with the gripper up"
