#!/usr/bin/env bash
# What watching one camera costs: Orvana against Motion (Debian's `motion`).
#
#   bench/camera/compare_motion.sh [build folder]      (default: build)
#
# An RTSP camera on loopback (gst-rtsp-server, MJPEG 640x480, 15 frames per
# second) is watched at the same time by Orvana (headless, camera monitoring
# only, 640x480) and by Motion (netcam_url on the same stream, motion
# detection on, no picture or movie output). After a warm-up, each process's
# CPU seconds over ORVANA_BENCH_SECONDS (default 60) are read from /proc.
# Then Orvana alone with a 640x480 test source that needs no decoding, and
# both Orvana runs again with a display (Xvfb) instead of --headless.
#
# Needs: the built program, motion, python3-gi with gir1.2-gst-rtsp-server-1.0,
# xvfb (scripts/bench installs them).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
orvana=$build/bin/orvana
seconds=${ORVANA_BENCH_SECONDS:-60}
warmup=${ORVANA_BENCH_WARMUP:-8}
ticks=$(getconf CLK_TCK)

[ -x "$orvana" ] || { echo "no program at $orvana (build the target orvana first)" >&2; exit 1; }
command -v motion >/dev/null || { echo "motion is not installed" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# CPU seconds (user + system) the process has used so far.
cpu_of() {
  awk -v t="$ticks" '{ sub(/^.*\) /, ""); print ($12 + $13) / t }' "/proc/$1/stat"
}

# The RTSP camera.
port=$(free_port)
"$root/bench/camera/rtsp_camera.py" "$port" 640 480 15 > "$work/rtsp.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q ready "$work/rtsp.out" && break; sleep 0.1; done
grep -q ready "$work/rtsp.out" || { cat "$work/rtsp.out" >&2; exit 1; }
url="rtsp://127.0.0.1:$port/cam"

# Orvana's settings: cameras only, no mail, the 640x480 format (the sixth
# entry of the format list, both for a network camera and for a test source).
home="$work/home"
mkdir -p "$home/run" "$home/data"
chmod 700 "$home/run"
cat > "$home/orvana.ini" <<EOF
[Setting]
DATA_DIR=$home/data
USE_VOLUME=0
USE_CAMERA=1
USE_POWER_DOWN=0
USE_TEMPERATURE=0
USE_GEIGER=0
USE_OWL=0
WORKING=0
[Camera0]
Resolution=${ORVANA_BENCH_FORMAT_INDEX:-5}
SliderPos=20
EOF

# start_orvana CAMERAS [display]: starts the program, prints its pid.
start_orvana() {
  local cameras=$1 display=${2:-}
  local env=(env -i HOME="$home" XDG_RUNTIME_DIR="$home/run" XDG_CONFIG_HOME="$home/config"
             XDG_STATE_HOME="$home/state" ORVANA_CONFIG="$home/orvana.ini"
             ORVANA_CAMERAS="$cameras" TZ="${TZ:-UTC}" LANG=C.UTF-8 PATH=/usr/bin:/bin)
  if [ -n "$display" ]; then
    "${env[@]}" DISPLAY="$display" "$orvana" > "$work/orvana.out" 2>&1 &
  else
    "${env[@]}" "$orvana" --headless > "$work/orvana.out" 2>&1 &
  fi
  echo $!
}

start_motion() {
  mkdir -p "$work/motion"
  cat > "$work/motion.conf" <<EOF
daemon off
setup_mode off
log_level 7
log_file $work/motion/motion.log
target_dir $work/motion
netcam_url $url
width 640
height 480
framerate 15
threshold 1500
emulate_motion off
picture_output off
movie_output off
snapshot_interval 0
webcontrol_port 0
stream_port 0
EOF
  motion -n -c "$work/motion.conf" > "$work/motion.out" 2>&1 &
  echo $!
}

# measure NAME PID...: CPU seconds of each over the measuring time.
declare -A result
measure() {
  local name=$1; shift
  sleep "$warmup"
  local -A before
  for p in "$@"; do before[$p]=$(cpu_of "$p"); done
  sleep "$seconds"
  local i=0
  for p in "$@"; do
    local after
    after=$(cpu_of "$p")
    result[$name.$i]=$(awk -v a="$after" -v b="${before[$p]}" 'BEGIN { printf "%.2f", a - b }')
    i=$((i + 1))
  done
}

stop_all() {
  for p in "$@"; do kill -INT "$p" 2>/dev/null || true; done
  for p in "$@"; do
    for _ in $(seq 100); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$p" 2>/dev/null || true
  done
}

percent() { awk -v c="$1" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * c / s }'; }

echo "== RTSP camera (MJPEG 640x480, 15/s): Orvana headless and Motion, ${seconds} s =="
o=$(start_orvana "$url"); m=$(start_motion); pids+=("$o" "$m")
measure rtsp "$o" "$m"
stop_all "$o" "$m"
grep -q "Opened camera" "$work/motion/motion.log" ||
  echo "warning: Motion did not open the camera (see its log)" >&2

echo "== Test source 640x480 (no decoding): Orvana headless, ${seconds} s =="
o=$(start_orvana "videotestsrc is-live=true pattern=ball"); pids+=("$o")
measure test "$o"
stop_all "$o"

xvfb=""
if command -v Xvfb >/dev/null; then
  display=":$((90 + RANDOM % 100))"
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp > "$work/xvfb.out" 2>&1 &
  xvfb=$!; pids+=("$xvfb")
  sleep 1
  echo "== The same with a display (Xvfb) =="
  o=$(start_orvana "$url" "$display"); pids+=("$o")
  measure xrtsp "$o"
  stop_all "$o"
  o=$(start_orvana "videotestsrc is-live=true pattern=ball" "$display"); pids+=("$o")
  measure xtest "$o"
  stop_all "$o"
fi

echo
printf '%-44s %10s %10s\n' "run" "CPU s" "% of core"
printf '%-44s %10s %10s\n' "RTSP, Orvana headless" "${result[rtsp.0]}" "$(percent "${result[rtsp.0]}")"
printf '%-44s %10s %10s\n' "RTSP, Motion 4.5" "${result[rtsp.1]}" "$(percent "${result[rtsp.1]}")"
printf '%-44s %10s %10s\n' "test source, Orvana headless" "${result[test.0]}" "$(percent "${result[test.0]}")"
if [ -n "$xvfb" ]; then
  printf '%-44s %10s %10s\n' "RTSP, Orvana with a display (Xvfb)" "${result[xrtsp.0]}" "$(percent "${result[xrtsp.0]}")"
  printf '%-44s %10s %10s\n' "test source, Orvana with a display (Xvfb)" "${result[xtest.0]}" "$(percent "${result[xtest.0]}")"
fi
awk -v o="${result[rtsp.0]}" -v m="${result[rtsp.1]}" \
  'BEGIN { if (m > 0) printf "Orvana / Motion on the RTSP camera: %.2f\n", o / m }'
