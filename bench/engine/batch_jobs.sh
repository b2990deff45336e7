#!/usr/bin/env bash
# Several Tasks at once: eight 20 s sources converted through the command line with
# --jobs 1, with the machine's default and with --jobs 2. Three rounds taking turns; the
# best time of each counts. Prints the throughput of each against --jobs 1, and the
# encoder time of one file when it runs alone and beside another, for the model of the
# gain on larger machines.
set -euo pipefail
bin=${1:-$(dirname "$0")/../../build/bin}
bin=$(cd "$bin" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
files=8

for i in $(seq 1 $files); do
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=640x480:rate=25:duration=20" \
    -f lavfi -i "sine=frequency=$((300 + i * 50)):duration=20" -c:v mpeg4 -q:v 4 -c:a libmp3lame \
    "$work/source$i.avi"
done

calc() { awk "BEGIN { print $1 }"; }

# $1: a name for the run; the rest: options of the command line. Prints the wall time
# and the processor time of the program and its encoders, in seconds.
run_batch() {
  local name=$1; shift
  rm -rf "$work/out-$name"
  local TIMEFORMAT='%R %U %S' times
  times=$( { time "$bin/trelvo-converter" --convert "$work"/source*.avi \
    --output "$work/out-$name" "$@" > "$work/$name.log"; } 2>&1 )
  [ "$(ls "$work/out-$name" | wc -l)" -eq "$files" ] || { echo "$name: files missing" >&2; exit 1; }
  echo "$times" | awk '{ print $1, $2 + $3 }'
}

declare -A best=([jobs1]=999999 [default]=999999 [jobs2]=999999)
declare -A cpu
echo "cores: $(nproc), load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in 1 2 3; do
  for side in jobs1 default jobs2; do
    case $side in
      jobs1) r=$(run_batch "$side" --jobs 1) ;;
      default) r=$(run_batch "$side") ;;
      jobs2) r=$(run_batch "$side" --jobs 2) ;;
    esac
    read -r t c <<< "$r"
    printf 'round %d: %-8s %6.2f s (processor %6.2f s)\n' "$round" "$side" "$t" "$c"
    if [ "$(calc "($t < ${best[$side]})")" = 1 ]; then best[$side]=$t; cpu[$side]=$c; fi
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
for side in jobs1 default jobs2; do
  printf 'best %-8s %6.2f s   throughput %.3fx of --jobs 1\n' "$side" "${best[$side]}" \
    "$(calc "${best[jobs1]} / ${best[$side]}")"
done
# One file's time alone, and beside one other (the eight go through two at a time), and
# how many cores one encoder keeps busy on its own: processor time over wall time.
printf 'one file: alone %.2f s, beside another %.2f s; processor %.2f s per file\n' \
  "$(calc "${best[jobs1]} / $files")" "$(calc "${best[jobs2]} * 2 / $files")" \
  "$(calc "${cpu[jobs1]} / $files")"
printf 'cores one encoder keeps busy: %.2f of %d (goal: --jobs 2 at least 1.05x)\n' \
  "$(calc "${cpu[jobs1]} / ${best[jobs1]}")" "$(nproc)"
