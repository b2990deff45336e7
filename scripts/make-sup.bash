# Sourced by the walk-through and the benchmarks: make_sup, which writes what ffmpeg
# cannot make, Blu-ray subtitles.
# Writes a Blu-ray subtitle stream (.sup) to $1: a white bar w x h at x,y on a W x H
# canvas, shown from $2 to $3 whole seconds (W H x y w h follow).
make_sup() {
  local out=$1 from=$2 to=$3 W=$4 H=$5 x=$6 y=$7 w=$8 h=$9 dir i
  dir=$(mktemp -d)
  b() { local v; for v in "$@"; do printf "\\x$(printf %02x "$v")"; done; }
  be16() { b $(($1 >> 8 & 255)) $(($1 & 255)); }
  be32() { be16 $(($1 >> 16 & 65535)); be16 $(($1 & 65535)); }
  segment() { # pts, type, data file
    printf PG; be32 "$1"; be32 0; b "$2"; be16 "$(stat -c %s "$3")"; cat "$3"
  }
  { be16 "$W"; be16 "$H"; b 16; be16 0; b 128 0 0 1; be16 0; b 0 0; be16 "$x"; be16 "$y"; } \
    > "$dir/pcs"
  { b 1 0; be16 "$x"; be16 "$y"; be16 "$w"; be16 "$h"; } > "$dir/wds"
  b 0 0 0 16 128 128 0 1 235 128 128 255 > "$dir/pds"
  for ((i = 0; i < h; i++)); do b 0 $((192 | w >> 8)) $((w & 255)) 1 0 0; done > "$dir/rle"
  local n=$(($(stat -c %s "$dir/rle") + 4))
  { be16 0; b 0 192 $((n >> 16)) $((n >> 8 & 255)) $((n & 255)); be16 "$w"; be16 "$h"
    cat "$dir/rle"; } > "$dir/ods"
  { be16 "$W"; be16 "$H"; b 16; be16 1; b 0 0 0 0; } > "$dir/clear"
  : > "$dir/end"
  local on=$((from * 90000)) off=$((to * 90000))
  { segment "$on" 22 "$dir/pcs"; segment "$on" 23 "$dir/wds"; segment "$on" 20 "$dir/pds"
    segment "$on" 21 "$dir/ods"; segment "$on" 128 "$dir/end"
    segment "$off" 22 "$dir/clear"; segment "$off" 23 "$dir/wds"
    segment "$off" 128 "$dir/end"; } > "$out"
  rm -rf "$dir"
}
