# Sourced by the encoder benchmarks: checks the tools and the encoder, makes the scratch
# folder $work, and gives measure() and best(). Expects $encoder and $bench (its name).
for tool in ffmpeg /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$bench: $tool is missing" >&2; exit 1; }
done
[ -x "$encoder" ] || { echo "$bench: no encoder at $encoder" >&2; exit 1; }

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

best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
runs=${BENCH_RUNS:-3}
