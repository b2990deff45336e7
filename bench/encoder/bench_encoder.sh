#!/bin/bash
# The same job through trelvo-encoder and through ffmpeg: a 640x480 source to 320x240
# H.264 768 kbit/s + AAC 128 kbit/s. Prints wall time, their ratio and peak memory,
# for each source length given (default 60 and 180 seconds), so that memory growth
# with the length shows.
#
# usage: bench_encoder.sh [path/to/trelvo-encoder] [seconds...]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
encoder=${1:-$here/../../build/bin/app/trelvo-encoder}
shift || true
lengths=("$@")
[ ${#lengths[@]} -eq 0 ] && lengths=(60 180)

for tool in ffmpeg /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench_encoder: $tool is missing" >&2; exit 1; }
done
[ -x "$encoder" ] || { echo "bench_encoder: no encoder at $encoder" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seconds of wall time and peak resident kilobytes of one command, from time -v.
measure() {
  local log=$1; shift
  /usr/bin/time -v "$@" </dev/null >/dev/null 2>"$log" || { tail -5 "$log" >&2; exit 1; }
  local wall kb
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,p,":"); s=0; for(i=1;i<=n;i++) s=s*60+p[i]; print s}' "$log")
  kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")
  echo "$wall $kb"
}

printf '%-8s %12s %12s %7s %14s %14s\n' source ours_s ffmpeg_s ratio ours_peak_MB ffmpeg_peak_MB
for seconds in "${lengths[@]}"; do
  source=$work/source$seconds.avi
  ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=640x480:rate=30:duration=$seconds" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$seconds" \
    -c:v mpeg4 -q:v 4 -c:a libmp3lame -b:a 128k "$source"

  read -r ours_wall ours_kb < <(measure "$work/ours.log" "$encoder" -i "$source" \
    -vcodec h264 -coder 0 -vlevel 13 -bufsize 256 -g 250 -s 320x240 -r 29.97 -b 768 \
    -aspect 4:3 -ac 2 -ab 128 -ar 48000 -vol 256 -acodec aac -f mp4 "$work/ours$seconds.mp4")

  read -r ff_wall ff_kb < <(measure "$work/ffmpeg.log" ffmpeg -nostdin -hide_banner -loglevel error \
    -y -i "$source" -c:v libx264 -preset medium -profile:v baseline -level 13 -coder 0 -bf 0 \
    -g 250 -s 320x240 -r 30000/1001 -aspect 4:3 -b:v 768k -maxrate 768k -bufsize 256k \
    -c:a aac -b:a 128k -ac 2 -ar 48000 -movflags +faststart -f mp4 "$work/ffmpeg$seconds.mp4")

  awk -v s="${seconds}s" -v ow="$ours_wall" -v fw="$ff_wall" -v ok="$ours_kb" -v fk="$ff_kb" \
    'BEGIN { printf "%-8s %12.2f %12.2f %7.2f %14.1f %14.1f\n", s, ow, fw, ow/fw, ok/1024, fk/1024 }'
  rm -f "$source" "$work/ours$seconds.mp4" "$work/ffmpeg$seconds.mp4"
done
