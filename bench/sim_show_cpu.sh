#!/usr/bin/env bash
# CPU time of brimlink-sim with its conveyor station, with and without --show,
# at rest and while a host runs the belt and a part is fed every second, on a
# virtual X server. Usage: bench/sim_show_cpu.sh BUILD/bin
set -euo pipefail
bin=$(cd "${1:?usage: bench/sim_show_cpu.sh BUILD/bin}" && pwd)
work=$(mktemp -d)
mkdir -p "$work/xdg/Brimlink"
printf '[PortSettings]\nUseUSB=N\nUseSerial=Y\nSearchCOM=200-210\nExcludeCOM=\n[Debug]\nShowAtStartup=N\n' \
  >"$work/xdg/Brimlink/Brimlink.ini"
export XDG_CONFIG_DIRS=$work/xdg XDG_CONFIG_HOME=$work/home QT_QPA_PLATFORM=xcb
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
hz=$(getconf CLK_TCK)
cpu_ms() { awk -v hz="$hz" '{print int(($14 + $15) * 1000 / hz)}' "/proc/$1/stat"; }

measure() {  # label, extra options
  mkfifo "$work/console"
  exec 4<>"$work/console"
  "$bin/brimlink-sim" --quiet --force --com 201 --station belt $2 <"$work/console" >/dev/null 2>&1 &
  local sim=$!
  sleep 1.5
  local a b
  a=$(cpu_ms $sim); sleep 10; b=$(cpu_ms $sim)
  printf '| %s | at rest | %d ms |\n' "$1" $((b - a))
  # A host connects and switches the belt's motor on; the console feeds parts.
  exec 5> >("$bin/brimlink-cli" >/dev/null 2>&1)
  printf 'Connect\nSetOutputWord 1 0 2\npump 20000\n' >&5
  echo "feed 1" >&4
  sleep 2
  a=$(cpu_ms $sim); sleep 10; b=$(cpu_ms $sim)
  printf '| %s | belt running, a part a second | %d ms |\n' "$1" $((b - a))
  exec 5>&-
  echo quit >&4
  wait $sim || true
  exec 4>&-
  rm -f "$work/console"
}

echo "| brimlink-sim --station belt | Station | CPU time in 10 s |"
echo "|---|---|---|"
measure "without --show" ""
measure "with --show" "--show"
