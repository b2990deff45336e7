#!/usr/bin/env bash
# The batch driver's cost: five 20 s sources converted through the command line, against
# the encoder run alone on the same five with the same command lines. Also prints the
# longest stall of the event loop during the batch.
set -euo pipefail
bin=${1:-$(dirname "$0")/../../build/bin}
bin=$(cd "$bin" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state

for i in 1 2 3 4 5; do
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=640x480:rate=25:duration=20" \
    -f lavfi -i "sine=frequency=$((300 + i * 50)):duration=20" -c:v mpeg4 -q:v 4 -c:a libmp3lame \
    "$work/source$i.avi"
done

now() { date +%s.%N; }

# The encoder alone, with what the default Profile expands to for these sources.
run_alone() {
  rm -rf "$work/alone"; mkdir -p "$work/alone"
  for i in 1 2 3 4 5; do
    (cd "$bin/app" && ./trelvo-encoder -i "$work/source$i.avi" -ss 00:00:00 -t 00:00:20 \
      -vcodec h264 -coder 0 -vlevel 13 -bufsize 256 -g 250 -s 320x240 -r 29.97 -b 1200 \
      -aspect 4:3 -ac 2 -ab 64 -ar 48000 -vol 256 -acodec aac -title "source$i" \
      -timestamp "2026-01-01 00:00:00" -f mp4 "$work/alone/source$i.mp4" </dev/null >/dev/null 2>&1)
  done
}
run_batch() {
  rm -rf "$work/batch"
  TRELVO_STALL_PROBE=1 "$bin/trelvo-converter" --convert "$work"/source{1,2,3,4,5}.avi \
    --output "$work/batch" > "$work/batch.log"
  grep 'longest event-loop stall' "$work/batch.log" | grep -o '[0-9]*' >> "$work/stalls"
}
calc() { awk "BEGIN { print $1 }"; }
timed() { local t0 t1; t0=$(now); "$@"; t1=$(now); calc "$t1 - $t0"; }

# Three rounds taking turns; the best time of each side counts, which keeps the
# comparison fair on a machine that is doing other work too.
best_alone=999999; best_batch=999999
for round in 1 2 3; do
  a=$(timed run_alone); b=$(timed run_batch)
  printf 'round %d: encoder alone %.2f s, through the batch %.2f s\n' "$round" "$a" "$b"
  best_alone=$(calc "($a < $best_alone) ? $a : $best_alone")
  best_batch=$(calc "($b < $best_batch) ? $b : $best_batch")
done
printf 'best: encoder alone %.2f s, through the batch %.2f s\n' "$best_alone" "$best_batch"
printf 'overhead: %.2f %% (goal: at most 2 %%)\n' \
  "$(calc "($best_batch - $best_alone) * 100 / $best_alone")"
printf 'longest event-loop stall: %s ms (goal: at most 50 ms)\n' "$(sort -n "$work/stalls" | tail -1)"
