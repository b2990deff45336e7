# Sourced by the encoder benchmarks: checks the tools and the encoder, makes the scratch
# folder $work, and gives measure(), best(), reference(), quality() and video_facts(). Expects
# $encoder and $bench (its name).
for tool in ffmpeg ffprobe /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$bench: $tool is missing" >&2; exit 1; }
done
[ -x "$encoder" ] || { echo "$bench: no encoder at $encoder" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seconds of wall time, seconds of CPU time (user and system, all threads) and peak
# resident kilobytes of one command, from time -v.
measure() {
  local log=$1; shift
  /usr/bin/time -v "$@" </dev/null >/dev/null 2>"$log" || { tail -5 "$log" >&2; exit 1; }
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, p, ":"); for (i = 1; i <= n; i++) wall = wall * 60 + p[i] }
    /User time \(seconds\)/ { cpu += $2 }
    /System time \(seconds\)/ { cpu += $2 }
    /Maximum resident set size/ { kb = $2 }
    END { print wall, cpu, kb }' "$log"
}

best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
runs=${BENCH_RUNS:-3}

# The source put through `filters` (ffmpeg's graph of the job, its inputs [0:v] and
# [0:s]) at the output's rate, as raw pictures in $2: what both outputs are judged by.
# Its scalers round exactly, so that the order of the steps (turn, then scale, or the
# other way) does not decide which side looks closer. Where the source's timing leaves a
# picture out (the grainy AVI's second), the one before it stays on screen, as a player
# shows it; ffmpeg's -r would put the next one there.
# Cut at the source's length: subtitles laid over the picture would go on forever.
reference() {
  local graph length
  graph=$(sed -E 's/(scale=[0-9]+:[0-9]+)/\1:flags=bicubic+accurate_rnd+full_chroma_int/g' <<<"$3")
  length=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$1")
  ffmpeg -nostdin -hide_banner -loglevel error -y -i "$1" -filter_complex "$graph,fps=30000/1001" \
    -t "$length" -pix_fmt yuv420p -f yuv4mpegpipe "$2"
}

# PSNR (dB, all planes) and SSIM (all planes) of a converted picture against a reference.
quality() {
  ffmpeg -nostdin -hide_banner -i "$1" -i "$2" -filter_complex \
    "[0:v]settb=AVTB,setpts=PTS-STARTPTS,split[o1][o2];
     [1:v]settb=AVTB,setpts=PTS-STARTPTS,split[r1][r2];
     [o1][r1]psnr;[o2][r2]ssim" -f null - 2>&1 |
    awk '/Parsed_psnr/ && /average:/ { for (i = 1; i <= NF; i++) if ($i ~ /^average:/) p = substr($i, 9) }
         /Parsed_ssim/ && /All:/ { for (i = 1; i <= NF; i++) if ($i ~ /^All:/) s = substr($i, 5) }
         END { print (p == "" ? "nan" : p), (s == "" ? "nan" : s) }'
}

# The picture's bit rate (kbit/s, from its packets at 29.97 pictures a second), its
# profile and its level, for the rows' checks.
video_facts() {
  local kbps
  kbps=$(ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 "$1" |
    awk '{ bytes += $1; n++ } END { printf "%.0f", n ? bytes * 8 / (n * 1001 / 30000) / 1000 : 0 }')
  ffprobe -v error -select_streams v:0 -show_entries stream=profile,level \
    -of default=noprint_wrappers=1 "$1" |
    awk -F= -v k="$kbps" '/^profile=/ { p = $2; gsub(/ /, "", p) } /^level=/ { l = $2 }
      END { print k, (p == "" || p == "unknown" ? "-" : p), (l == "" || l < 0 ? "-" : l) }'
}
